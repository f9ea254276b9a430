// The link parameters (a serial line, or a UPS watched through Network UPS
// Tools) and the three start-up preferences. One record exists while the
// program runs; the settings page owns it and keeps it in config_com.xml and
// the password in a private file of its own (see comSettingsFile.h).
#pragma once

#include <QObject>
#include <QString>

class comSettings : public QObject {
    Q_OBJECT
public:
    static constexpr quint8 kModeRtu = 0;
    static constexpr quint8 kModeAscii = 1;
    static constexpr quint8 kModeNut = 2;  // a UPS served by upsd

    explicit comSettings(QObject* parent = nullptr);
    bool isNut() const { return comMode == kModeNut; }

    QString comPort;          // port name as the system lists it ("COM1")
    quint16 portNumber;       // derived from comPort; 65535 when none can be
    quint16 slaveId;          // Modbus slave address
    quint32 baudRate;         // bit/s
    quint8 comMode;           // kModeRtu, kModeAscii or kModeNut
    quint8 dataLen;           // data bits
    quint8 stopBits;          // 1 or 2
    quint8 parity;            // as the page lists it: 0 None, 1 Even, 2 Odd
    quint32 responseTimeout;  // ms
    quint32 numOfRetries;
    quint32 pollDelay;  // ms slept before each status read
    bool autoBoot;      // start when the user logs on
    bool autoConnect;   // connect once after start
    bool autoHide;      // start hidden in the tray
    // Network UPS Tools: upsd's host and port, the UPS's name there, and the
    // user and password of upsd.users (needed only for writes).
    QString nutHost;
    quint16 nutPort;
    QString nutUps;
    QString nutUser;
    QString nutPassword;   // kept apart from config_com.xml, never logged
    quint32 nutPollCycle;  // ms between two LIST VAR, at least kNutMinPollCycle
    static constexpr quint32 kNutMinPollCycle = 1000;
    // The cycle of the chosen kind of link.
    quint32 pollCycle() const { return isNut() ? qMax(nutPollCycle, kNutMinPollCycle) : pollDelay; }
};
