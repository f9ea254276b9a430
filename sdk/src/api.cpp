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

struct OpenCloseGuard {
    OpenCloseGuard() { plat::lockTake(&openCloseLock); }
    ~OpenCloseGuard() { plat::lockGive(&openCloseLock); }
};

// Releases the handle's instance and stops the shared services with the last device.
void closeDevice(UPS_DeviceDescriptor* device) {
    OpenCloseGuard guard;
    MasterInstance* instance = static_cast<MasterInstance*>(device->handle);
    if (isLiveInstance(instance)) releaseInstance(instance);
    if (instancesInUse() == 0) globalShutdown();
    device->handle = nullptr;
}

ResultCode runRead(MasterInstance* instance, uint8_t slave, uint16_t address, uint8_t count,
                   uint16_t* values) {
    int32_t state = Start;
    ResultCode result = InProgress;
    while (state != Done) {
        readHoldingRegisters(instance, slave, address, count, values, &state, &result);
    }
    return result;
}

ResultCode runWrite(MasterInstance* instance, uint8_t slave, uint16_t address, uint8_t count,
                    const uint16_t* values) {
    int32_t state = Start;
    ResultCode result = InProgress;
    while (state != Done) {
        writeMultipleRegisters(instance, slave, address, count, values, &state, &result);
    }
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

    ResultCode rc = Success;
    {
        OpenCloseGuard guard;
        // The socket layer has nothing to start on this platform.
        // A record opened again without a close is closed first, so that
        // reconnecting never drains the pools or keeps its old port busy.
        if (isLiveInstance(static_cast<MasterInstance*>(device->handle))) closeDevice(device);
        device->handle = nullptr;
        MasterInstance* instance = acquireInstance();
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
            } else {
                device->handle = instance;
            }
        }
        if (instancesInUse() == 0) globalShutdown();
    }
    device->lastResult = rc;
    if (rc != Success) {
        closeDevice(device);
        return rc;
    }

    MasterInstance* instance = static_cast<MasterInstance*>(device->handle);
    uint32_t timeout = device->responseTimeoutMs % 65536u;
    if (timeout == 0 || timeout == 65535u) {
        device->lastResult = InvalidArgument;
        closeDevice(device);
        return InvalidArgument;
    }
    setResponseTimeout(instance, (uint16_t)timeout);

    uint16_t identification[3] = {0, 0, 0};
    rc = runRead(instance, device->slaveAddress, 0, 3, identification);
    device->lastResult = rc;
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
    ResultCode rc = runRead(static_cast<MasterInstance*>(device->handle), device->slaveAddress,
                            wireAddress(address), count, values);
    device->lastResult = rc;
    return rc;
}

extern "C" ResultCode UPS_WriteRegisters(UPS_DeviceDescriptor* device, uint16_t address,
                                         uint8_t count, const uint16_t* values) {
    if (device == nullptr) return InvalidArgument;
    ResultCode rc = runWrite(static_cast<MasterInstance*>(device->handle), device->slaveAddress,
                             wireAddress(address), count, values);
    device->lastResult = rc;
    return rc;
}
