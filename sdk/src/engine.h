// Modbus master request engine: the pool of master instances and the two
// requests the library needs (function codes 3 and 16) as polled state
// machines. Framing belongs to the transport bound to the instance.
#pragma once

#include <stdint.h>

#include "services.h"

namespace ups {
struct PortSlot;
}

namespace ups {

const int kMasterInstanceCount = 5;
const uint16_t kDefaultResponseTimeoutMs = 1000;
const uint32_t kWaitStepMs = 500;

// Operations a transport installs in the instance it is bound to.
typedef ResultCode (*SendFrameOp)(MasterInstance* instance, uint8_t slave, uint16_t pduLength);
// With pduLength: validate the received frame and set *pduLength; without: cancel.
typedef ResultCode (*ReceiveFrameOp)(MasterInstance* instance, uint8_t slave, uint16_t* pduLength);
typedef ResultCode (*CloseTransportOp)(MasterInstance* instance);

struct MasterInstance {
    uint8_t index;  // 255 = free
    TimerSlot* responseTimer;
    EventSlot* completion;
    void* transport;
    uint16_t pduLength;
    uint8_t* pdu;  // inside the transport's frame buffer, after the address byte
    SendFrameOp sendFrame;
    ReceiveFrameOp receiveFrame;
    CloseTransportOp closeTransport;
    PortSlot* port;  // the bound transport's port
    // 1 while the caller of a request does the port's work itself (lendPort).
    uint32_t lending;
    // Runs the calls on this instance one at a time; created with the library
    // and kept when the entry is freed, so a caller holding a stale handle can
    // still take it and find the entry closed.
    plat::Lock requestLock;
};

enum RequestState : int32_t { Start = 0, Send = 1, Wait = 2, Decode = 3, Fail = 4, Done = 5 };

enum CompletionCode : uint8_t {
    ResponseTimeout = 2,
    FrameReceived = 3,
    ReceiveError = 4,
    TransmitDone = 5,
    TransportFault = 6,
};

// The request locks live as long as the library (created at load).
void createRequestLocks();
void destroyRequestLocks();

// Takes the request lock of the pool entry a handle names, waiting for a call
// in flight on it, and checks that the entry is still live. false (nothing
// held) for a handle that is not a pool entry or whose entry is free.
bool beginRequest(MasterInstance* instance);
void endRequest(MasterInstance* instance);

// For one request of an exported call: the calling thread does its port's
// work while it waits, instead of handing it to the port thread and back, and
// watches its own timers, so that neither library thread is woken. Does
// nothing when the port thread is busy. endLending gives the port back and
// starts the tick for timers still armed.
void beginLending(MasterInstance* instance);
void endLending(MasterInstance* instance);

MasterInstance* acquireInstance();
ResultCode releaseInstance(MasterInstance* instance);
bool isLiveInstance(const MasterInstance* instance);
int instancesInUse();
ResultCode setResponseTimeout(MasterInstance* instance, uint16_t timeoutMs);

// One step of a request; the caller steps from Start until *state is Done.
// Returns *result (or InvalidArgument when result is missing).
ResultCode readHoldingRegisters(MasterInstance* instance, uint8_t slave, uint16_t startAddress,
                                uint8_t count, uint16_t* values, int32_t* state,
                                ResultCode* result);
ResultCode writeMultipleRegisters(MasterInstance* instance, uint8_t slave, uint16_t startAddress,
                                  uint8_t count, const uint16_t* values, int32_t* state,
                                  ResultCode* result);

// Maps a Modbus exception code to its ResultCode (IoError for unknown codes).
ResultCode exceptionResult(uint8_t exceptionCode);

}  // namespace ups
