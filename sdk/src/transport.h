// What the RTU and ASCII transports have in common: the line they own (a port
// slot and a timer slot), ending an exchange on it, releasing it, and binding
// their operations into the master instance.
#pragma once

#include <stdint.h>

#include "engine.h"
#include "port.h"

namespace ups {

struct LineSettings {
    uint8_t portNumber;
    uint32_t baud;
    uint32_t dataBits;
    int32_t parity;
    uint32_t stopBits;
    ReceiveHook hook;
    uint32_t detectMode;
    uint16_t timerMs;
    TimerCallback timerCallback;
};

// Opens the port and takes the transport's timer slot (under the stackLock). A
// port failure returns its code; a missing timer closes the port: NoResource.
ResultCode openTransportLine(MasterInstance* instance, const LineSettings& settings,
                             PortSlot** port, TimerSlot** timer);

// Ends an exchange: removes the transmit source (the caller has let the output
// drain first, outside the stackLock: drainOutput), removes the receive sink
// and discards input, disarms the timer. The
// first failure (timer, then sink, then source) replaces rc.
ResultCode endExchange(PortSlot* port, TimerSlot* timer, ResultCode rc);

// Asks the port thread to stop and frees the timer; PortError (nothing
// released) when the thread cannot be signalled.
ResultCode releaseTransportLine(PortSlot* port, TimerSlot* timer);

void bindTransport(MasterInstance* instance, void* transport, PortSlot* port, uint8_t* pdu,
                   SendFrameOp send, ReceiveFrameOp receive, CloseTransportOp close);

}  // namespace ups
