// The four exported functions. Each drives the request engine to Done and
// returns a ResultCode.
#include "QXUPSSDK.h"

#include "ascii.h"
#include "engine.h"
#include "rtu.h"
#include "services.h"

namespace ups {
namespace {

const uint16_t kRegisterBase = 25536;  // + 25536 mod 65536 is - 40000
const uint16_t kDriverVersion = 1000;

// Lock order: an instance's request lock, then openCloseLock, then the
// stackLock. No request lock is taken while openCloseLock or the stackLock is
// held, so nothing waits for a request under openCloseLock and one slow device
// never holds up the opens and closes of the others.
struct OpenCloseGuard {
    OpenCloseGuard() { plat::lockTake(&openCloseLock); }
    ~OpenCloseGuard() { plat::lockGive(&openCloseLock); }
};

// The record may be shared by the caller's threads (a poller reads while
// another thread closes); its handle and result are exchanged atomically.
MasterInstance* handleOf(const UPS_DeviceDescriptor* device) {
    return static_cast<MasterInstance*>(__atomic_load_n(&device->handle, __ATOMIC_ACQUIRE));
}
void setHandle(UPS_DeviceDescriptor* device, MasterInstance* instance) {
    __atomic_store_n(&device->handle, static_cast<void*>(instance), __ATOMIC_RELEASE);
}
void setLastResult(UPS_DeviceDescriptor* device, ResultCode rc) {
    __atomic_store_n(&device->lastResult, (int32_t)rc, __ATOMIC_RELAXED);
}

// Takes the request lock of the record's device; false when it is not open
// (closed meanwhile, or its entry now serves another record).
bool beginDeviceRequest(UPS_DeviceDescriptor* device, MasterInstance** instance) {
    *instance = handleOf(device);
    if (!beginRequest(*instance)) return false;
    if (handleOf(device) == *instance) return true;
    endRequest(*instance);
    return false;
}

// Releases the handle's instance, after the request in flight on it, and stops
// the shared services with the last device.
void closeDevice(UPS_DeviceDescriptor* device) {
    MasterInstance* instance = nullptr;
    bool locked = beginDeviceRequest(device, &instance);
    {
        OpenCloseGuard guard;
        if (locked) releaseInstance(instance);
        if (instancesInUse() == 0) globalShutdown();
        setHandle(device, nullptr);
    }
    if (locked) endRequest(instance);
}

ResultCode runRead(MasterInstance* instance, uint8_t slave, uint16_t address, uint8_t count,
                   uint16_t* values) {
    int32_t state = Start;
    ResultCode result = InProgress;
    beginLending(instance);
    while (state != Done) {
        readHoldingRegisters(instance, slave, address, count, values, &state, &result);
    }
    endLending(instance);
    return result;
}

ResultCode runWrite(MasterInstance* instance, uint8_t slave, uint16_t address, uint8_t count,
                    const uint16_t* values) {
    int32_t state = Start;
    ResultCode result = InProgress;
    beginLending(instance);
    while (state != Done) {
        writeMultipleRegisters(instance, slave, address, count, values, &state, &result);
    }
    endLending(instance);
    return result;
}

uint16_t wireAddress(uint16_t address) {
    return (uint16_t)(address + kRegisterBase);
}

}  // namespace
}  // namespace ups

using namespace ups;

extern "C" ResultCode UPS_DeviceOpen(UPS_DeviceDescriptor* device, UPS_DeviceInfo* info) {
    if (device == nullptr) return InvalidArgument;
    int32_t parity = device->parity == 1   ? plat::ParityOdd
                     : device->parity == 2 ? plat::ParityEven
                                           : plat::ParityNone;
    uint32_t stopBits = parity == plat::ParityNone ? 2 : 1;
    bool rtuFraming = device->framing == 0;

    // A record opened again without a close is closed first, so that
    // reconnecting never drains the pools or keeps its old port busy.
    if (handleOf(device) != nullptr) closeDevice(device);

    ResultCode rc = Success;
    MasterInstance* instance = nullptr;
    {
        OpenCloseGuard guard;
        // The socket layer has nothing to start on this platform.
        instance = acquireInstance();
        if (instance == nullptr) {
            rc = NoResource;
        } else {
            rc = rtuFraming ? openRtuTransport(instance, device->portNumber, device->baudRate,
                                               parity, stopBits)
                            : openAsciiTransport(instance, device->portNumber, device->baudRate,
                                                 parity, stopBits);
            if (rc != Success) {
                ResultCode releaseRc = releaseInstance(instance);
                if (releaseRc != Success) rc = releaseRc;
                instance = nullptr;
            }
        }
        setHandle(device, instance);
        if (instancesInUse() == 0) globalShutdown();
    }
    setLastResult(device, rc);
    if (rc != Success) {
        closeDevice(device);
        return rc;
    }

    uint32_t timeout = device->responseTimeoutMs % 65536u;
    if (timeout == 0 || timeout == 65535u) {
        setLastResult(device, InvalidArgument);
        closeDevice(device);
        return InvalidArgument;
    }

    uint16_t identification[3] = {0, 0, 0};
    // A close from another thread may have taken the device meanwhile.
    if (!beginDeviceRequest(device, &instance)) {
        setLastResult(device, InvalidArgument);
        return InvalidArgument;
    }
    setResponseTimeout(instance, (uint16_t)timeout);
    rc = runRead(instance, device->slaveAddress, 0, 3, identification);
    setLastResult(device, rc);
    endRequest(instance);
    if (rc != Success) {
        closeDevice(device);
        return rc;
    }
    if (info != nullptr) {
        info->deviceType = identification[0];
        info->hardwareVersion = identification[1];
        info->firmwareVersion = identification[2];
        info->driverVersion = kDriverVersion;
    }
    return Success;
}

extern "C" ResultCode UPS_DeviceClose(UPS_DeviceDescriptor* device) {
    if (device == nullptr) return InvalidArgument;
    closeDevice(device);
    return Success;
}

extern "C" ResultCode UPS_ReadRegisters(UPS_DeviceDescriptor* device, uint16_t address,
                                        uint8_t count, uint16_t* values) {
    if (device == nullptr) return InvalidArgument;
    MasterInstance* instance = nullptr;
    ResultCode rc = InvalidArgument;
    if (beginDeviceRequest(device, &instance)) {
        rc = runRead(instance, device->slaveAddress, wireAddress(address), count, values);
        endRequest(instance);
    }
    setLastResult(device, rc);
    return rc;
}

extern "C" ResultCode UPS_WriteRegisters(UPS_DeviceDescriptor* device, uint16_t address,
                                         uint8_t count, const uint16_t* values) {
    if (device == nullptr) return InvalidArgument;
    MasterInstance* instance = nullptr;
    ResultCode rc = InvalidArgument;
    if (beginDeviceRequest(device, &instance)) {
        rc = runWrite(instance, device->slaveAddress, wireAddress(address), count, values);
        endRequest(instance);
    }
    setLastResult(device, rc);
    return rc;
}
