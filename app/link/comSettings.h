// The serial link parameters and the three start-up preferences. One record
// exists while the program runs; the settings page owns it and keeps it in
// config_com.xml (see comSettingsFile.h).
#pragma once

#include <QObject>
#include <QString>

class comSettings : public QObject {
    Q_OBJECT
public:
    explicit comSettings(QObject* parent = nullptr);

    QString comPort;          // port name as the system lists it ("COM1")
    quint16 portNumber;       // derived from comPort; 65535 when none can be
    quint16 slaveId;          // Modbus slave address
    quint32 baudRate;         // bit/s
    quint8 comMode;           // 0 = Modbus RTU
    quint8 dataLen;           // data bits
    quint8 stopBits;          // 1 or 2
    quint8 parity;            // as the page lists it: 0 None, 1 Even, 2 Odd
    quint32 responseTimeout;  // ms
    quint32 numOfRetries;
    quint32 pollDelay;  // ms slept before each status read
    bool autoBoot;      // start when the user logs on
    bool autoConnect;   // connect once after start
    bool autoHide;      // start hidden in the tray
};
