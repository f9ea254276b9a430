#include "comAdapter.h"

#include <string.h>

#include <QCoreApplication>

#include "comSettings.h"
#include "consolePrint.h"
#include "resultText.h"

namespace {

const uint kFirstRegister = 40000;
const uint kLastRegister = 65535;

// Page parity (0 None, 1 Even, 2 Odd) to the library's (1 odd, 2 even).
quint8 descriptorParity(quint8 pageParity) {
    switch (pageParity) {
        case 1:
            return 2;
        case 2:
            return 1;
        default:
            return pageParity;
    }
}

}  // namespace

comAdapter& comAdapter::instance() {
    static comAdapter adapter;
    return adapter;
}

comAdapter::comAdapter() : QObject(nullptr) {
    memset(&m_device, 0, sizeof m_device);
    memset(&m_info, 0, sizeof m_info);
}

comAdapter::~comAdapter() {
    // At exit: give the port back and let the library stop its threads. The
    // console may be gone already, so nothing is reported.
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_device.handle != nullptr) UPS_DeviceClose(&m_device);
}

bool comAdapter::isConnected() const {
    return m_connected.load();
}

void comAdapter::resetDeviceParams() {
    std::lock_guard<std::mutex> guard(m_lock);
    m_device.framing = 0;
    m_device.portNumber = 1;
    m_device.slaveAddress = 1;
    m_device.parity = 0;
    m_device.dataBits = 8;
    m_device.baudRate = 115200;
    m_device.lastResult = 0;
}

UPS_DeviceInfo comAdapter::deviceInfo() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_info;
}

UPS_DeviceDescriptor comAdapter::descriptor() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_device;
}

void comAdapter::showNoDevice() {
    consolePrint& console = consolePrint::instance();
    console.printHwVer(QStringLiteral("0000"));
    console.printFwVer(QStringLiteral("0000"));
    console.printDrvVer(QStringLiteral("0000"));
}

int comAdapter::slotOpenDevice(comSettings* settings, bool report) {
    int result;
    UPS_DeviceInfo info;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (settings != nullptr) {
            m_device.framing = settings->comMode;
            m_device.portNumber = static_cast<quint8>(settings->portNumber & 0xFF);
            m_device.slaveAddress = static_cast<quint8>(settings->slaveId & 0xFF);
            m_device.parity = descriptorParity(settings->parity);
            m_device.stopBits = settings->stopBits;
            m_device.dataBits = settings->dataLen;
            m_device.baudRate = settings->baudRate;
            m_device.responseTimeoutMs = settings->responseTimeout;
            m_device.retryCount = static_cast<int32_t>(settings->numOfRetries);
        }
        result = UPS_DeviceOpen(&m_device, &m_info);
        m_connected.store(result == 0);
        info = m_info;
    }

    consolePrint& console = consolePrint::instance();
    if (result != 0) {
        // A quiet attempt follows a close, which showed that no device is open.
        if (report) {
            console.printMsg(tr("Open device error:") + QString::number(result));
            showNoDevice();
        }
        return result;
    }
    if (report) {
        console.printMsg(tr("Open device success > Device Type:") +
                         QString::number(info.deviceType) + tr(" Hardware version:") +
                         QString::number(info.hardwareVersion) + tr(" Firmware version:") +
                         QString::number(info.firmwareVersion));
    }
    console.printHwVer(QString::number(info.hardwareVersion));
    console.printFwVer(QString::number(info.firmwareVersion));
    console.printDrvVer(QString::number(info.driverVersion));
    return 0;
}

int comAdapter::slotCloseDevice(bool report) {
    int result;
    quint8 port;
    quint8 slave;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        result = UPS_DeviceClose(&m_device);
        if (result == 0) m_connected.store(false);
        port = m_device.portNumber;
        slave = m_device.slaveAddress;
    }
    if (result != 0) return result;
    if (report) {
        consolePrint::instance().printMsg(
            tr("Close port %1 slave address %2 is success").arg(port).arg(slave));
    }
    showNoDevice();
    return 0;
}

int comAdapter::readLocked(ushort usRegStartAddr, uchar ubNRegs, ushort* arusBufferOut) {
    return UPS_ReadRegisters(&m_device, usRegStartAddr, ubNRegs, arusBufferOut);
}

int comAdapter::slotReadStatus(ushort usRegStartAddr, uchar ubNRegs, ushort* arusBufferOut) {
    consolePrint& console = consolePrint::instance();
    int result;
    if (usRegStartAddr < kFirstRegister) {
        console.printMsg(tr("ERR: Register start address ") + QString::number(usRegStartAddr) +
                         QStringLiteral(" ") + tr("is invalid!"));
        result = -1;
    } else {
        std::lock_guard<std::mutex> guard(m_lock);
        result = readLocked(usRegStartAddr, ubNRegs, arusBufferOut);
    }
    if (result == 0) return 0;
    console.printMsg(QStringLiteral("ERR:") + QString::number(result) +
                     tr(":When reading register start from ") + QString::number(usRegStartAddr));
    return result;
}

int comAdapter::readRegistersQuiet(ushort usRegStartAddr, uchar ubNRegs, ushort* arusBufferOut) {
    if (usRegStartAddr < kFirstRegister) return -1;
    std::lock_guard<std::mutex> guard(m_lock);
    return readLocked(usRegStartAddr, ubNRegs, arusBufferOut);
}

int comAdapter::readStatusIfConnected(ushort usRegStartAddr, uchar ubNRegs, ushort* arusBufferOut,
                                      bool* wasOpen) {
    int result;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        *wasOpen = m_connected.load();
        if (!*wasOpen) return 0;
        result = readLocked(usRegStartAddr, ubNRegs, arusBufferOut);
    }
    if (result != 0) {
        consolePrint::instance().printMsg(QStringLiteral("ERR:") + QString::number(result) +
                                          tr(":When reading register start from ") +
                                          QString::number(usRegStartAddr));
    }
    return result;
}

int comAdapter::slotWriteRegister(uint regAddr, ushort value) {
    consolePrint& console = consolePrint::instance();
    int result;
    // Above 65535 the library would keep only the low 16 bits and write
    // another register, so such an address is refused like one below 40000.
    if (regAddr < kFirstRegister || regAddr > kLastRegister) {
        console.printMsg(tr("ERR: Register start address ") + QString::number(regAddr) +
                         QStringLiteral(" ") + tr("is invalid!"));
        result = -1;
    } else {
        const uint16_t values[1] = {value};
        std::lock_guard<std::mutex> guard(m_lock);
        result = UPS_WriteRegisters(&m_device, static_cast<uint16_t>(regAddr), 1, values);
    }
    if (result == 0) {
        console.printMsg(tr("SUCCESS: Setting register ") + QString::number(regAddr) +
                         tr(" to value ") + QString::number(value));
        return 0;
    }
    console.printMsg(QStringLiteral("ERR:") + QString::number(result) +
                     tr(":When Setting register ") + QString::number(regAddr) + tr(" to value ") +
                     QString::number(value));
    return result;
}

QString comAdapter::resultText(int code) {
    // The one table of all front ends; its texts are translated in this context.
    return QCoreApplication::translate("comAdapter", qxwatch::resultText(code));
}
