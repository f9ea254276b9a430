#include "ascii.h"

#include <string.h>

#include "crc.h"
#include "transport.h"

namespace ups {

using ascii::TransportInstance;

namespace {

TransportInstance g_ascii[kAsciiTransportCount];
bool g_asciiReady = false;

const char kHexDigits[] = "0123456789ABCDEF";

void clearTransport(TransportInstance* t) {
    memset(t, 0, sizeof *t);
    t->index = kFree;
}

TransportInstance* transportOf(MasterInstance* instance) {
    if (!isLiveInstance(instance)) return nullptr;
    TransportInstance* t = static_cast<TransportInstance*>(instance->transport);
    if (t == nullptr) return nullptr;
    uint8_t index = t->index;
    return (index < kAsciiTransportCount && t == &g_ascii[index]) ? t : nullptr;
}

TransportInstance* callbackTransport(MasterInstance* owner) {
    return static_cast<TransportInstance*>(owner->transport);
}

void resetTransmit(TransportInstance* t) {
    t->txState = 0;
    t->txRemaining = 0;
    t->nibblePhase = 0;
    t->txCursor = nullptr;
}

// Only upper-case hex digits are digits; anything else decodes as 255 and is
// left for the LRC check to reject.
uint8_t hexValue(uint8_t c) {
    if (c >= '0' && c <= '9') return (uint8_t)(c - '0');
    if (c >= 'A' && c <= 'F') return (uint8_t)(c - 'A' + 10);
    return 255;
}

int postReceiveError(MasterInstance* owner) {
    if (isLiveInstance(owner)) postCompletion(owner->completion, ReceiveError);
    return 1;
}

}  // namespace

namespace ascii {

void receiveSink(MasterInstance* owner, const uint8_t* bytes, uint16_t count) {
    TransportInstance* t = callbackTransport(owner);
    bool complete = false;
    for (uint16_t i = 0; i < count && !complete; ++i) {
        uint8_t c = bytes[i];
        switch (t->rxState) {
            case 0:
                if (c == ':') t->rxState = 1;
                break;
            case 1:
                if (c == ':') {
                    t->rxLength = 0;
                    t->nibblePhase = 0;
                } else if (c == '\r') {
                    t->rxState = 2;
                } else if (t->nibblePhase == 0) {
                    if (t->rxLength == kAsciiFrameSize) {
                        t->rxState = 3;
                    } else {
                        t->frame[t->rxLength] = (uint8_t)(hexValue(c) << 4);
                        t->nibblePhase = 1;
                    }
                } else {
                    t->frame[t->rxLength] |= hexValue(c);
                    t->rxLength++;
                    t->nibblePhase = 0;
                }
                break;
            case 2:
                if (c == '\n') {
                    setReceiveSink(t->port, nullptr);
                    stopTimer(t->transportTimer);
                    postCompletion(owner->completion, FrameReceived);
                    complete = true;
                } else if (c == ':') {
                    t->rxLength = 0;
                    t->nibblePhase = 0;
                    t->rxState = 1;
                } else {
                    t->rxState = 3;
                }
                break;
            default:
                break;
        }
    }
    if (!complete && startTimer(t->transportTimer) != Success) {
        setReceiveSink(t->port, nullptr);
        postCompletion(owner->completion, ReceiveError);
        t->rxState = 3;
    }
}

int transmitSource(MasterInstance* owner, uint8_t* buffer, uint16_t capacity, uint16_t* length) {
    TransportInstance* t = callbackTransport(owner);
    uint16_t n = 0;
    *length = 0;
    for (;;) {
        switch (t->txState) {
            case 1:
                buffer[n++] = ':';
                t->txState = 2;
                t->nibblePhase = 0;
                break;
            case 2:
                if (t->txRemaining > 0) {
                    if (t->nibblePhase == 0) {
                        buffer[n++] = (uint8_t)kHexDigits[*t->txCursor >> 4];
                        t->nibblePhase = 1;
                    } else {
                        buffer[n++] = (uint8_t)kHexDigits[*t->txCursor & 0x0F];
                        t->txCursor++;
                        t->txRemaining--;
                        t->nibblePhase = 0;
                    }
                } else {
                    buffer[n++] = '\r';
                    t->txState = 3;
                }
                break;
            case 3:
                buffer[n++] = '\n';
                t->txState = 4;
                *length = n;
                return 1;
            case 4: {
                bool broadcast = t->frame[0] == 0;
                resetTransmit(t);
                if (broadcast) {
                    postCompletion(owner->completion, TransmitDone);
                } else {
                    t->rxState = 0;
                    t->rxLength = 0;
                    if (setReceiveSink(t->port, receiveSink) != Success) {
                        postCompletion(owner->completion, TransportFault);
                    }
                }
                return 0;
            }
            default:
                resetTransmit(t);
                return 0;
        }
        if (n == capacity) {
            *length = n;
            return 1;
        }
    }
}

}  // namespace ascii

namespace {

ResultCode sendFrame(MasterInstance* instance, uint8_t slave, uint16_t pduLength) {
    TransportInstance* t = transportOf(instance);
    if (t == nullptr || slave > 247 || pduLength > 253) return InvalidArgument;
    uint16_t length = (uint16_t)(1 + pduLength);
    t->frame[0] = slave;
    t->frame[length] = lrc8(t->frame, length);

    takeStackLock();
    t->txRemaining = (uint16_t)(length + 1);
    t->txState = 1;
    t->txCursor = t->frame;
    // A late answer to an earlier request must not pass for this one's.
    discardInput(t->port);
    ResultCode rc = setTransmitSource(t->port, ascii::transmitSource);
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
        // The 8-bit sum of an intact frame, LRC included, is zero.
        if (t->rxLength >= 4 && t->frame[0] == slave && lrc8(t->frame, t->rxLength) == 0) {
            *pduLength = (uint16_t)(t->rxLength - 2);
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

ResultCode openAsciiTransport(MasterInstance* instance, uint8_t portNumber, uint32_t baud,
                              int32_t parity, uint32_t stopBits) {
    if (!isLiveInstance(instance) || baud == 0) return InvalidArgument;
    takeStackLock();
    if (!g_asciiReady) {
        for (int i = 0; i < kAsciiTransportCount; ++i)
            clearTransport(&g_ascii[i]);
        g_asciiReady = true;
    }
    TransportInstance* t = nullptr;
    for (int i = 0; i < kAsciiTransportCount && t == nullptr; ++i) {
        if (g_ascii[i].index == kFree) t = &g_ascii[i];
    }
    if (t == nullptr) {
        giveStackLock();
        return NoResource;
    }
    t->index = (uint8_t)(t - g_ascii);
    LineSettings line = {
        portNumber,       baud, 7, parity, stopBits, nullptr, DetectAscii, kInterCharacterTimeoutMs,
        postReceiveError,
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
