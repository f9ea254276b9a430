// Modbus ASCII framing: a colon, the frame as upper-case hex pairs with an LRC,
// CR LF; 7 data bits.
#pragma once

#include <stdint.h>

#include "engine.h"
#include "port.h"

namespace ups {

const int kAsciiTransportCount = 2;
const int kAsciiFrameSize = 255;
const uint16_t kInterCharacterTimeoutMs = 1000;

namespace ascii {

struct TransportInstance {
    uint8_t index;  // 255 = free
    uint8_t frame[kAsciiFrameSize];
    uint32_t nibblePhase;  // 0 high nibble next, 1 low nibble next
    int32_t rxState;       // 0 idle, 1 receiving, 2 CR seen, 3 error
    uint16_t rxLength;
    int32_t txState;  // 0 idle, 1 colon, 2 hex, 3 LF, 4 handed out
    uint16_t txRemaining;
    uint8_t* txCursor;
    TimerSlot* transportTimer;
    PortSlot* port;
};

// Port-thread callbacks; they run under the stackLock for a live transport.
int transmitSource(MasterInstance* owner, uint8_t* buffer, uint16_t capacity, uint16_t* length);
void receiveSink(MasterInstance* owner, const uint8_t* bytes, uint16_t count);

}  // namespace ascii

ResultCode openAsciiTransport(MasterInstance* instance, uint8_t portNumber, uint32_t baud,
                              int32_t parity, uint32_t stopBits);

}  // namespace ups
