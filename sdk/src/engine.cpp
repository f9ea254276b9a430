#include "engine.h"

#include <stddef.h>
#include <string.h>

#include "port.h"

namespace ups {

namespace {

MasterInstance g_instances[kMasterInstanceCount];
bool g_instancesReady = false;

// The response timer ends a request that got nothing. A code already waiting
// (an answer that arrived in time, or the transport's own verdict) came first
// and must not be replaced by a time-out that fired before the engine took it.
int postResponseTimeout(MasterInstance* instance) {
    takeStackLock();
    if (isLiveInstance(instance) && isEventSlot(instance->completion) &&
        instance->completion->posted == 0) {
        postCompletion(instance->completion, ResponseTimeout);
    }
    giveStackLock();
    return 1;
}

// Clears every field but the request lock, which outlives the entry's use.
void clearInstance(MasterInstance* instance) {
    memset(instance, 0, offsetof(MasterInstance, requestLock));
    instance->index = kFree;
}

// Whether the address is one of the pool's entries; reads nothing through it.
bool isPoolEntry(const MasterInstance* instance) {
    uintptr_t address = reinterpret_cast<uintptr_t>(instance);
    uintptr_t first = reinterpret_cast<uintptr_t>(&g_instances[0]);
    if (address < first || address >= first + sizeof g_instances) return false;
    return (address - first) % sizeof(MasterInstance) == 0;
}

// Releases what acquireInstance had taken before it failed.
void abandonInstance(MasterInstance* instance) {
    if (instance->responseTimer != nullptr) freeTimerSlot(instance->responseTimer);
    if (instance->completion != nullptr) freeEventSlot(instance->completion);
    clearInstance(instance);
}

// Send and Wait, shared by both requests.
void requestStep(MasterInstance* instance, uint8_t slave, int32_t* state, ResultCode* result) {
    if (*state == Send) {
        // A code posted after the previous request had ended (a late chunk
        // racing its time-out) belongs to no request: it must not end this one.
        uint8_t stale = 0;
        takeCompletion(instance->completion, &stale);
        ResultCode rc = startTimer(instance->responseTimer);
        if (rc != Success) {
            *result = rc;
            *state = Fail;
            return;
        }
        rc = instance->sendFrame(instance, slave, instance->pduLength);
        // Nothing was sent, so no answer is awaited: a time-out left armed would
        // post a stale ResponseTimeout that the next request would take as its own.
        if (rc != Success) stopTimer(instance->responseTimer);
        *result = rc;
        *state = rc == Success ? Wait : Fail;
        return;
    }

    takeStackLock();
    EventSlot* completion = instance->completion;
    bool live = isEventSlot(completion);
    giveStackLock();
    if (!live) {
        *result = IllegalState;
        *state = Fail;
        return;
    }
    if (instance->lending != 0) {
        // Until one of its timers falls due the caller does the port's work
        // itself; after that, or when the port has nothing left to do, the port
        // thread and the timer thread take over and the caller waits for the
        // completion as usual.
        uint32_t left = nextTimerDueMs(instance);
        if (left == 0 || !servePort(instance->port, left)) endLending(instance);
    }
    if (!plat::eventWait(&completion->event, instance->lending != 0 ? 0 : kWaitStepMs)) return;
    uint8_t code = 0;
    if (!takeCompletion(completion, &code)) return;
    stopTimer(instance->responseTimer);

    switch (code) {
        case ResponseTimeout:
            instance->receiveFrame(instance, slave, nullptr);
            *state = Done;
            *result = TimedOut;
            break;
        case FrameReceived: {
            ResultCode rc = instance->receiveFrame(instance, slave, &instance->pduLength);
            *result = rc;
            *state = rc == Success ? Decode : Fail;
            break;
        }
        case ReceiveError:
            instance->receiveFrame(instance, slave, nullptr);
            *state = Fail;
            *result = IoError;
            break;
        case TransmitDone:
            *state = Done;
            *result = Success;
            break;
        case TransportFault:
            *state = Fail;
            *result = IoError;
            break;
        default:
            *state = Fail;
            *result = IllegalState;
            break;
    }
}

// Common head of both requests; false when the step is already finished.
bool checkStep(MasterInstance* instance, const void* values, int32_t* state, ResultCode* result) {
    // An instance without a bound transport has nowhere to build or send a PDU.
    if (!isLiveInstance(instance) || state == nullptr || result == nullptr || values == nullptr ||
        instance->pdu == nullptr || instance->sendFrame == nullptr ||
        instance->receiveFrame == nullptr) {
        if (state != nullptr) *state = Done;
        if (result != nullptr) *result = InvalidArgument;
        return false;
    }
    return true;
}

void buildHeader(uint8_t* pdu, uint8_t function, uint16_t startAddress, uint8_t count) {
    pdu[0] = function;
    pdu[1] = (uint8_t)(startAddress >> 8);
    pdu[2] = (uint8_t)(startAddress & 0xFF);
    pdu[3] = 0;
    pdu[4] = count;
}

// Steps shared by both requests once Start and Decode are handled.
void commonStep(MasterInstance* instance, uint8_t slave, int32_t* state, ResultCode* result) {
    switch (*state) {
        case Send:
        case Wait:
            requestStep(instance, slave, state, result);
            break;
        case Fail:
            *state = Done;
            break;
        default:
            *result = IllegalState;
            *state = Done;
            break;
    }
}

}  // namespace

bool isLiveInstance(const MasterInstance* instance) {
    // The handle comes from the caller's record and may be anything: find it
    // among the pool's entries before reading through it.
    if (!isPoolEntry(instance)) return false;
    uint8_t index = instance->index;
    return index < kMasterInstanceCount && instance == &g_instances[index];
}

void createRequestLocks() {
    for (int i = 0; i < kMasterInstanceCount; ++i)
        plat::lockCreate(&g_instances[i].requestLock);
}

void destroyRequestLocks() {
    for (int i = 0; i < kMasterInstanceCount; ++i)
        plat::lockDestroy(&g_instances[i].requestLock);
}

bool beginRequest(MasterInstance* instance) {
    if (!isPoolEntry(instance)) return false;
    plat::lockTake(&instance->requestLock);
    // The entry may have been closed, or closed and reused, while we waited.
    takeStackLock();
    bool live = isLiveInstance(instance);
    giveStackLock();
    if (!live) plat::lockGive(&instance->requestLock);
    return live;
}

void endRequest(MasterInstance* instance) {
    plat::lockGive(&instance->requestLock);
}

void beginLending(MasterInstance* instance) {
    if (isLiveInstance(instance) && instance->lending == 0 && lendPort(instance->port)) {
        instance->lending = 1;
        watchTimers(instance, true);
    }
}

void endLending(MasterInstance* instance) {
    if (!isLiveInstance(instance) || instance->lending == 0) return;
    instance->lending = 0;
    watchTimers(instance, false);
    returnPort(instance->port);
}

MasterInstance* acquireInstance() {
    takeStackLock();
    if (!g_instancesReady) {
        for (int i = 0; i < kMasterInstanceCount; ++i)
            clearInstance(&g_instances[i]);
        g_instancesReady = true;
    }
    MasterInstance* instance = nullptr;
    for (int i = 0; i < kMasterInstanceCount && instance == nullptr; ++i) {
        if (g_instances[i].index == kFree) instance = &g_instances[i];
    }
    if (instance != nullptr) {
        instance->index = (uint8_t)(instance - g_instances);
        if (!startTimerService()) {
            abandonInstance(instance);
            instance = nullptr;
        }
    }
    if (instance != nullptr) {
        instance->responseTimer =
            takeTimerSlot(kDefaultResponseTimeoutMs, postResponseTimeout, instance);
        if (instance->responseTimer == nullptr) {
            abandonInstance(instance);
            instance = nullptr;
        }
    }
    if (instance != nullptr) {
        instance->completion = takeEventSlot();
        if (instance->completion == nullptr) {
            abandonInstance(instance);
            instance = nullptr;
        }
    }
    giveStackLock();
    return instance;
}

ResultCode releaseInstance(MasterInstance* instance) {
    takeStackLock();
    if (!isLiveInstance(instance)) {
        giveStackLock();
        return InvalidArgument;
    }
    if (instance->closeTransport != nullptr) {
        ResultCode rc = instance->closeTransport(instance);
        if (rc != Success) {
            giveStackLock();
            return rc;
        }
    }
    abandonInstance(instance);
    giveStackLock();
    return Success;
}

int instancesInUse() {
    takeStackLock();
    int used = 0;
    if (g_instancesReady) {
        for (int i = 0; i < kMasterInstanceCount; ++i) {
            if (g_instances[i].index != kFree) ++used;
        }
    }
    giveStackLock();
    return used;
}

ResultCode setResponseTimeout(MasterInstance* instance, uint16_t timeoutMs) {
    takeStackLock();
    ResultCode rc = isLiveInstance(instance) ? setTimerTimeout(instance->responseTimer, timeoutMs)
                                             : InvalidArgument;
    giveStackLock();
    return rc;
}

ResultCode exceptionResult(uint8_t exceptionCode) {
    switch (exceptionCode) {
        case 1:
            return ExceptionIllegalFunction;
        case 2:
            return ExceptionIllegalDataAddress;
        case 3:
            return ExceptionIllegalDataValue;
        case 4:
            return ExceptionSlaveDeviceFailure;
        case 5:
            return ExceptionAcknowledge;
        case 6:
            return ExceptionSlaveDeviceBusy;
        case 8:
            return ExceptionMemoryParityError;
        case 10:
            return ExceptionGatewayPathUnavailable;
        case 11:
            return ExceptionGatewayTargetFailed;
        default:
            return IoError;
    }
}

ResultCode readHoldingRegisters(MasterInstance* instance, uint8_t slave, uint16_t startAddress,
                                uint8_t count, uint16_t* values, int32_t* state,
                                ResultCode* result) {
    if (!checkStep(instance, values, state, result)) {
        return result != nullptr ? *result : InvalidArgument;
    }
    uint8_t* pdu = instance->pdu;
    switch (*state) {
        case Start:
            // Slave 0 is the broadcast address: nobody answers a broadcast, so a
            // read to it would report success without delivering a value.
            if ((uint32_t)startAddress + count > 65535u || count < 1 || count > 125 || slave == 0) {
                *state = Done;
                *result = InvalidArgument;
                break;
            }
            buildHeader(pdu, 0x03, startAddress, count);
            instance->pduLength = 5;
            *result = InProgress;
            *state = Send;
            break;
        case Decode:
            *state = Done;
            if (instance->pduLength == 2u + 2u * count && pdu[0] == 0x03 && pdu[1] == 2u * count) {
                for (int i = 0; i < count; ++i) {
                    values[i] = (uint16_t)(pdu[2 + 2 * i] * 256 + pdu[3 + 2 * i]);
                }
                *result = Success;
            } else if (instance->pduLength == 2 && pdu[0] == 0x83) {
                *result = exceptionResult(pdu[1]);
            } else {
                *result = IoError;
            }
            break;
        default:
            commonStep(instance, slave, state, result);
            break;
    }
    return *result;
}

ResultCode writeMultipleRegisters(MasterInstance* instance, uint8_t slave, uint16_t startAddress,
                                  uint8_t count, const uint16_t* values, int32_t* state,
                                  ResultCode* result) {
    if (!checkStep(instance, values, state, result)) {
        return result != nullptr ? *result : InvalidArgument;
    }
    uint8_t* pdu = instance->pdu;
    switch (*state) {
        case Start:
            if ((uint32_t)startAddress + count > 65535u || count < 1 || count > 123) {
                *state = Done;
                *result = InvalidArgument;
                break;
            }
            buildHeader(pdu, 0x10, startAddress, count);
            pdu[5] = (uint8_t)(2 * count);
            for (int i = 0; i < count; ++i) {
                pdu[6 + 2 * i] = (uint8_t)(values[i] >> 8);
                pdu[7 + 2 * i] = (uint8_t)(values[i] & 0xFF);
            }
            instance->pduLength = (uint16_t)(6 + 2 * count);
            *result = InProgress;
            *state = Send;
            break;
        case Decode:
            *state = Done;
            if (instance->pduLength == 5) {
                uint16_t echoStart = (uint16_t)(pdu[1] << 8 | pdu[2]);
                uint16_t echoCount = (uint16_t)(pdu[3] << 8 | pdu[4]);
                *result = (pdu[0] == 0x10 && echoStart == startAddress && echoCount == count)
                              ? Success
                              : IoError;
            } else if (instance->pduLength == 2 && pdu[0] == 0x90) {
                *result = exceptionResult(pdu[1]);
            } else {
                *result = IoError;
            }
            break;
        default:
            commonStep(instance, slave, state, result);
            break;
    }
    return *result;
}

}  // namespace ups
