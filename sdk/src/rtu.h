// Modbus RTU framing: slave address, PDU, CRC-16 low byte first.
#pragma once

#include <stdint.h>

#include "engine.h"
#include "port.h"

namespace ups {

const int kRtuTransportCount = 2;
const int kRtuFrameSize = 256;

namespace rtu {

struct TransportInstance {
    uint8_t index;  // 255 = free
    uint8_t frame[kRtuFrameSize];
    int32_t rxState;  // 0 idle, 1 receiving, 2 overrun
    uint16_t rxLength;
    int32_t txState;  // 0 idle, 1 sending, 2 broadcast sent, waiting for the tick
    uint16_t txRemaining;
    uint8_t* txCursor;
    TimerSlot* transportTimer;
    PortSlot* port;
};

// Port-thread callbacks; they run under the stackLock for a live transport.
int transmitSource(MasterInstance* owner, uint8_t* buffer, uint16_t capacity, uint16_t* length);
void receiveSink(MasterInstance* owner, const uint8_t* bytes, uint16_t count);
int receiveHook(MasterInstance* owner);

}  // namespace rtu

// Parity code 0 odd, 1 even, 2 none; stop bits 1 or 2.
ResultCode openRtuTransport(MasterInstance* instance, uint8_t portNumber, uint32_t baud,
                            int32_t parity, uint32_t stopBits);

// Whether an answer PDU (function code first, no address or CRC) of length L
// is complete. Request shapes never are: the master only receives answers.
bool isFrameComplete(const uint8_t* pdu, uint16_t length);

}  // namespace ups
