// The program's only caller of the device library. It owns the descriptor of
// the one device and the identification read at open, and reports every
// outcome and the module's versions through consolePrint.
//
// In the program only the device worker (monitorThread) calls it; the library
// runs one request per device at a time, so every library call is made under
// one lock all the same.
#pragma once

#include <QObject>
#include <QString>
#include <atomic>
#include <mutex>

#include "QXUPSSDK.h"

class comSettings;

class comAdapter : public QObject {
    Q_OBJECT
public:
    // The one instance; it lives until the process ends (an open device is
    // closed then).
    static comAdapter& instance();
    ~comAdapter() override;

    bool isConnected() const;
    // The library's defaults for the connection fields; handle, stop bits,
    // time-out and retries stay as they are.
    void resetDeviceParams();

    // The identification of the last successful open.
    UPS_DeviceInfo deviceInfo() const;
    // A copy of the descriptor (connection fields as last copied from the settings).
    UPS_DeviceDescriptor descriptor() const;

    // For the polling thread: reads only when the device is open, deciding and
    // reading under the same lock, so that a close between the two cannot
    // produce a read on a closed device. *wasOpen tells whether a read was made.
    int readStatusIfConnected(ushort usRegStartAddr, uchar ubNRegs, ushort* arusBufferOut,
                              bool* wasOpen);
    // Reads like slotReadStatus but reports nothing: the caller decides what
    // to log (one line per refused span, not one per read).
    int readRegistersQuiet(ushort usRegStartAddr, uchar ubNRegs, ushort* arusBufferOut);

    // A short meaning of one of the library's result codes, for log lines
    // ("timed out", "port error", ...).
    static QString resultText(int code);

public slots:
    // Copies the settings into the descriptor (a null pointer uses it as it is),
    // opens the device and reads its identification. Without report, the
    // outcome is not logged (the versions are still shown): a reconnect logs
    // its attempts in a summary of its own.
    int slotOpenDevice(comSettings* settings, bool report = true);
    int slotCloseDevice(bool report = true);
    // Reads ubNRegs registers from usRegStartAddr (40000 and up) into arusBufferOut.
    int slotReadStatus(ushort usRegStartAddr, uchar ubNRegs, ushort* arusBufferOut);
    // Writes one register, 40000..65535.
    int slotWriteRegister(uint regAddr, ushort value);

private:
    comAdapter();
    int readLocked(ushort usRegStartAddr, uchar ubNRegs, ushort* arusBufferOut);
    void showNoDevice();

    mutable std::mutex m_lock;  // guards the records and serialises the library calls
    std::atomic<bool> m_connected{false};
    UPS_DeviceDescriptor m_device;
    UPS_DeviceInfo m_info;
};
