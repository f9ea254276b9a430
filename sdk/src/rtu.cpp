#include "rtu.h"

#include <string.h>

#include "crc.h"
#include "transport.h"

namespace ups {

using rtu::TransportInstance;

namespace {

TransportInstance g_rtu[kRtuTransportCount];
bool g_rtuReady = false;

void clearTransport(TransportInstance* t) {
    memset(t, 0, sizeof *t);
    t->index = kFree;
}

TransportInstance* transportOf(MasterInstance* instance) {
    if (!isLiveInstance(instance)) return nullptr;
    TransportInstance* t = static_cast<TransportInstance*>(instance->transport);
    if (t == nullptr) return nullptr;
    uint8_t index = t->index;
    return (index < kRtuTransportCount && t == &g_rtu[index]) ? t : nullptr;
}

// Callbacks below run in the port thread (or the timer thread) under the stackLock;
// they are only ever installed for a live transport.
TransportInstance* callbackTransport(MasterInstance* owner) {
    return static_cast<TransportInstance*>(owner->transport);
}

void resetTransmit(TransportInstance* t) {
    t->txState = 0;
    t->txRemaining = 0;
    t->txCursor = nullptr;
}

}  // namespace

namespace rtu {

void receiveSink(MasterInstance* owner, const uint8_t* bytes, uint16_t count) {
    TransportInstance* t = callbackTransport(owner);
    if (t->rxState == 0) {
        if (count < kRtuFrameSize) {
            memcpy(t->frame, bytes, count);
            t->rxLength = count;
            t->rxState = 1;
        } else {
            t->rxState = 2;
        }
    } else if (t->rxState == 1) {
        if (t->rxLength + count < kRtuFrameSize) {
            memcpy(t->frame + t->rxLength, bytes, count);
            t->rxLength = (uint16_t)(t->rxLength + count);
        } else {
            t->rxState = 2;
        }
    }
}

int receiveHook(MasterInstance* owner) {
    takeStackLock();
    TransportInstance* t = callbackTransport(owner);
    if (t->txState == 2) {
        resetTransmit(t);
        postCompletion(owner->completion, TransmitDone);
        stopTimer(t->transportTimer);
    } else {
        postCompletion(owner->completion, t->rxState == 1 ? FrameReceived : ReceiveError);
        t->rxState = 0;
        setReceiveSink(t->port, nullptr);
    }
    giveStackLock();
    return 1;
}

int transmitSource(MasterInstance* owner, uint8_t* buffer, uint16_t capacity, uint16_t* length) {
    TransportInstance* t = callbackTransport(owner);
    *length = 0;
    if (t->txState != 1) {
        postCompletion(owner->completion, TransportFault);
        resetTransmit(t);
        return 0;
    }
    if (t->txRemaining > 0) {
        uint16_t n = t->txRemaining < capacity ? t->txRemaining : capacity;
        memcpy(buffer, t->txCursor, n);
        t->txCursor += n;
        t->txRemaining = (uint16_t)(t->txRemaining - n);
        *length = n;
        return 1;
    }
    resetTransmit(t);
    if (t->frame[0] == 0) {
        t->txState = 2;
        startTimer(t->transportTimer);
    } else if (setReceiveSink(t->port, receiveSink) != Success) {
        postCompletion(owner->completion, TransportFault);
    }
    return 0;
}

}  // namespace rtu

namespace {

ResultCode sendFrame(MasterInstance* instance, uint8_t slave, uint16_t pduLength) {
    TransportInstance* t = transportOf(instance);
    if (t == nullptr || slave > 247 || pduLength > 253) return InvalidArgument;
    uint16_t length = (uint16_t)(1 + pduLength);
    t->frame[0] = slave;
    uint16_t crc = crc16(t->frame, length);
    t->frame[length] = (uint8_t)(crc & 0xFF);
    t->frame[length + 1] = (uint8_t)(crc >> 8);

    takeStackLock();
    t->txRemaining = (uint16_t)(length + 2);
    t->txCursor = t->frame;
    t->txState = 1;
    // A late answer to an earlier request must not pass for this one's.
    discardInput(t->port);
    ResultCode rc = setTransmitSource(t->port, rtu::transmitSource);
    if (rc != Success) {
        resetTransmit(t);
        rc = PortError;
    }
    giveStackLock();
    return rc;
}

ResultCode receiveFrame(MasterInstance* instance, uint8_t slave, uint16_t* pduLength) {
    TransportInstance* t = transportOf(instance);
    if (t == nullptr || slave < 1 || slave > 247) return InvalidArgument;
    takeStackLock();
    ResultCode rc = InvalidArgument;
    if (pduLength != nullptr) {
        rc = IoError;
        if (t->rxLength >= 4 && t->frame[0] == slave && crc16(t->frame, t->rxLength) == 0) {
            *pduLength = (uint16_t)(t->rxLength - 3);
            rc = Success;
        }
    }
    giveStackLock();
    // The request's frame leaves the line before the exchange ends; waited for
    // outside the stackLock, which the timer and the other ports need meanwhile.
    // An intact answer of the slave shows that the request has left already.
    if (rc != Success) drainOutput(t->port);
    takeStackLock();
    rc = endExchange(t->port, t->transportTimer, rc);
    resetTransmit(t);
    t->rxState = 0;
    t->rxLength = 0;
    giveStackLock();
    return rc;
}

ResultCode closeTransport(MasterInstance* instance) {
    TransportInstance* t = transportOf(instance);
    if (t == nullptr) return InvalidArgument;
    takeStackLock();
    ResultCode rc = releaseTransportLine(t->port, t->transportTimer);
    if (rc == Success) {
        clearTransport(t);
        instance->transport = nullptr;
    }
    giveStackLock();
    return rc;
}

}  // namespace

bool isFrameComplete(const uint8_t* pdu, uint16_t length) {
    // The master only ever receives answers. A request shape is never a frame
    // end here: an answer whose first bytes happen to carry a zero CRC at a
    // request's length would otherwise be cut short on every poll.
    if (length == 0) return false;
    uint8_t function = pdu[0];
    if ((function & 0x80) != 0) return length == 2;
    bool byteCountFits = length >= 2 && pdu[1] + 2 == length;
    switch (function) {
        case 1:
        case 2:
        case 3:
        case 4:
        case 12:
        case 17:
        case 20:
        case 23:
            return byteCountFits;
        case 5:
        case 6:
        case 8:
        case 11:
        case 15:
        case 16:
            return length == 5;
        case 7:
            return length == 2;
        case 22:
            return length == 7;
        case 24:
            return length > 3 && (pdu[1] << 8 | pdu[2]) + 3 == length;
        default:
            return false;
    }
}

ResultCode openRtuTransport(MasterInstance* instance, uint8_t portNumber, uint32_t baud,
                            int32_t parity, uint32_t stopBits) {
    if (!isLiveInstance(instance) || baud == 0) return InvalidArgument;
    takeStackLock();
    if (!g_rtuReady) {
        for (int i = 0; i < kRtuTransportCount; ++i)
            clearTransport(&g_rtu[i]);
        g_rtuReady = true;
    }
    TransportInstance* t = nullptr;
    for (int i = 0; i < kRtuTransportCount && t == nullptr; ++i) {
        if (g_rtu[i].index == kFree) t = &g_rtu[i];
    }
    if (t == nullptr) {
        giveStackLock();
        return NoResource;
    }
    t->index = (uint8_t)(t - g_rtu);
    LineSettings line = {
        portNumber, baud, 8, parity, stopBits, rtu::receiveHook, DetectRtu, 0, rtu::receiveHook,
    };
    ResultCode rc = openTransportLine(instance, line, &t->port, &t->transportTimer);
    if (rc != Success) {
        clearTransport(t);
        giveStackLock();
        return rc;
    }
    bindTransport(instance, t, t->port, t->frame + 1, sendFrame, receiveFrame, closeTransport);
    giveStackLock();
    return Success;
}

}  // namespace ups
