#include "comSettings.h"

comSettings::comSettings(QObject* parent)
    : QObject(parent),
      comPort(QStringLiteral("COM1")),
      portNumber(1),
      slaveId(1),
      baudRate(115200),
      comMode(0),
      dataLen(8),
      stopBits(1),
      parity(0),
      responseTimeout(1000),
      numOfRetries(3),
      pollDelay(10),
      autoBoot(false),
      autoConnect(false),
      autoHide(false),
      nutHost(QStringLiteral("localhost")),
      nutPort(3493),
      nutPollCycle(2000) {}
