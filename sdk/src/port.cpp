#include "port.h"

#include <string.h>

#include "crc.h"
#include "rtu.h"

namespace ups {

namespace {

PortSlot g_ports[kPortSlotCount];
bool g_portsReady = false;

void clearSlot(PortSlot* slot) {
    plat::Thread thread = slot->thread;
    memset(slot, 0, sizeof *slot);
    slot->thread = thread;
    slot->index = kFree;
    slot->file = plat::kNoFile;
}

void initPool() {
    if (g_portsReady) return;
    for (int i = 0; i < kPortSlotCount; ++i) {
        memset(&g_ports[i], 0, sizeof g_ports[i]);
        clearSlot(&g_ports[i]);
    }
    g_portsReady = true;
}

struct PortView {
    uint32_t running;
    int file;
    ReceiveSink sink;
    TransmitSource source;
    uint32_t detectMode;
    uint32_t readTimeoutMs;
    uint32_t writeTimeoutMs;
    MasterInstance* owner;
};

struct ReceiveState {
    bool resync;  // the last chunk ended at a gap with a bad CRC
    bool received;
    uint64_t lastReceiveUs;
    ReadAhead input;
};

// Under the stackLock.
void readView(PortSlot* slot, PortView* view) {
    view->running = slot->running;
    view->file = slot->file;
    view->sink = slot->receiveSink;
    view->source = slot->transmitSource;
    view->detectMode = slot->detectMode;
    view->readTimeoutMs = slot->readTimeoutMs;
    view->writeTimeoutMs = slot->writeTimeoutMs;
    view->owner = slot->owner;
}

// Collects one chunk and hands it to the sink; the chunk ends on a complete RTU
// frame, on a line feed in ASCII, at 256 bytes, on a read failure or at a gap.
// True when it read the view afresh while it held the lock for the delivery.
bool receivePhase(PortSlot* slot, PortView* view, ReceiveState* rx) {
    ChunkBuilder chunk;
    uint8_t byte = 0;
    if (readAheadTake(&rx->input, view->file, view->readTimeoutMs, &byte) != 1) return false;
    chunkStart(&chunk, view->detectMode);
    while (!chunkAdd(&chunk, byte, rx->resync)) {
        int got = readAheadTake(&rx->input, view->file, view->readTimeoutMs, &byte);
        if (got < 0) break;
        if (got == 0) {
            chunkEndedAtGap(&chunk, &rx->resync);
            break;
        }
    }

    takeStackLock();
    if (slot->running == 1 && slot->receiveSink != nullptr) {
        slot->receiveSink(slot->owner, chunk.bytes, chunk.length);
        if (slot->receiveHook != nullptr) slot->receiveHook(slot->owner);
    }
    readView(slot, view);
    giveStackLock();
    rx->received = true;
    rx->lastReceiveUs = plat::monotonicUs();
    return true;
}

// Waits out what is left of the slave's minimum turnaround gap after its last
// byte; no longer than that.
void turnaroundPause(const ReceiveState& rx) {
    const uint64_t kTurnaroundUs = 2000;
    if (!rx.received) return;
    uint64_t since = plat::monotonicUs() - rx.lastReceiveUs;
    if (since < kTurnaroundUs) plat::sleepUs((uint32_t)(kTurnaroundUs - since));
}

// Sends what the transmit source yields. True when it read the view afresh
// while it held the lock for the source's last call.
bool transmitPhase(PortSlot* slot, PortView* view, ReceiveState* rx) {
    uint8_t buffer[kChunkSize];
    for (;;) {
        uint16_t length = 0;
        takeStackLock();
        if (slot->running == 1 && slot->transmitSource != nullptr) {
            if (slot->transmitSource(slot->owner, buffer, kChunkSize, &length) == 0) {
                slot->transmitSource = nullptr;
                length = 0;
            }
        }
        if (length == 0) readView(slot, view);
        giveStackLock();
        if (length == 0) return true;
        // A new request goes out: what was read ahead belongs to an earlier exchange.
        readAheadDiscard(&rx->input);
        turnaroundPause(*rx);
        uint16_t written = 0;
        while (written < length) {
            int n = plat::serialWrite(view->file, buffer + written, (size_t)(length - written),
                                      view->writeTimeoutMs);
            if (n <= 0) break;
            written = (uint16_t)(written + n);
        }
        if (written == 0) return false;
    }
}

void* portThreadMain(void* arg) {
    PortSlot* slot = static_cast<PortSlot*>(arg);
    plat::raiseThreadPriority();
    ReceiveState rx;
    rx.resync = false;
    rx.received = false;
    rx.lastReceiveUs = 0;
    readAheadDiscard(&rx.input);
    PortView view;
    // The view is read afresh under the lock that each phase takes anyway, so
    // that the thread does not take it once more only to look.
    bool fresh = false;
    for (;;) {
        if (!fresh) {
            takeStackLock();
            readView(slot, &view);
            giveStackLock();
        }
        fresh = false;

        if (view.sink != nullptr) {
            fresh = receivePhase(slot, &view, &rx);
        } else {
            // Every removal of the sink discards the pending input, and input
            // already read ahead is part of it.
            readAheadDiscard(&rx.input);
            // Idle: sleep until woken. Every path that clears running or
            // installs a callback signals wakeEvent.
            if (view.running == 1 && view.source == nullptr) {
                plat::eventWait(&slot->wakeEvent, plat::kWaitForever);
                continue;
            }
        }
        if (!fresh || view.source != nullptr) fresh = transmitPhase(slot, &view, &rx);
        if (view.running != 1) break;
    }
    flushPort(view.file, FlushInput | FlushOutput, view.writeTimeoutMs);
    plat::serialClose(view.file);
    takeStackLock();
    plat::eventClose(&slot->wakeEvent);
    clearSlot(slot);
    giveStackLock();
    return nullptr;
}

ResultCode wake(PortSlot* slot) {
    // The port thread changing its own slot reads its view afresh anyway.
    if (plat::threadIsCurrent(&slot->thread)) return Success;
    return signalAfterStackLock(&slot->wakeEvent) ? Success : PortError;
}

}  // namespace

void readAheadDiscard(ReadAhead* input) {
    input->next = 0;
    input->count = 0;
}

int readAheadTake(ReadAhead* input, int file, uint32_t timeoutMs, uint8_t* byte) {
    if (input->next >= input->count) {
        int n = plat::serialRead(file, input->bytes, sizeof input->bytes, timeoutMs);
        if (n <= 0) {
            readAheadDiscard(input);
            return n;
        }
        input->next = 0;
        input->count = (uint16_t)n;
    }
    *byte = input->bytes[input->next++];
    return 1;
}

void chunkStart(ChunkBuilder* chunk, uint32_t detectMode) {
    chunk->length = 0;
    chunk->crc = 0xFFFF;
    chunk->detectMode = detectMode;
}

bool chunkAdd(ChunkBuilder* chunk, uint8_t byte, bool resync) {
    if (chunk->length >= kChunkSize) return true;
    chunk->bytes[chunk->length++] = byte;
    if (chunk->detectMode == DetectRtu) {
        chunk->crc = crc16Update(chunk->crc, byte);
        if (chunk->crc == 0 && !resync && chunk->length >= 4 &&
            isFrameComplete(chunk->bytes + 1, (uint16_t)(chunk->length - 3))) {
            return true;
        }
    } else if (byte == 0x0A) {
        return true;
    }
    return chunk->length == kChunkSize;
}

void chunkEndedAtGap(const ChunkBuilder* chunk, bool* resync) {
    if (chunk->detectMode == DetectRtu) *resync = chunk->crc != 0;
}

uint32_t readTimeoutMs(uint32_t baud) {
    return (baud / 2 + 11000) / baud + 20;
}
uint32_t writeTimeoutMs(uint32_t baud) {
    return (baud / 2 + 2816000) / baud + 20;
}

bool isPortSlot(const PortSlot* slot) {
    if (slot == nullptr) return false;
    uint8_t index = slot->index;
    return index < kPortSlotCount && slot == &g_ports[index];
}

void flushPort(int file, uint32_t what, uint32_t outputLimitMs) {
    if (file == plat::kNoFile) return;
    uint32_t inQueue = 0;
    uint32_t outQueue = 0;
    if ((what & FlushInput) != 0 && plat::serialInputQueue(file, &inQueue)) {
        // Discards what is waiting now and no more: a line that keeps sending
        // must not hold the caller (under the stackLock) for ever.
        uint8_t discard[16];
        uint32_t left = inQueue;
        while (left > 0) {
            int n = plat::serialReadAvailable(file, discard,
                                              left < sizeof discard ? left : sizeof discard);
            if (n <= 0) break;
            left -= (uint32_t)n;
        }
    }
    if ((what & FlushOutput) != 0) {
        // Bounded: a line whose far end never drains must not hold the caller.
        uint32_t start = plat::tickMs();
        while (plat::serialOutputQueue(file, &outQueue) && outQueue > 0 &&
               plat::tickMs() - start < outputLimitMs) {
            plat::sleepMs(10);
        }
    }
}

ResultCode openPort(PortSlot** out, uint8_t portNumber, uint32_t baud, uint32_t dataBits,
                    int32_t parity, uint32_t stopBits, MasterInstance* owner, ReceiveHook hook,
                    uint32_t detectMode) {
    if (out == nullptr || baud == 0) return InvalidArgument;
    takeStackLock();
    initPool();
    PortSlot* slot = nullptr;
    for (int i = 0; i < kPortSlotCount && slot == nullptr; ++i) {
        if (g_ports[i].index == kFree) slot = &g_ports[i];
    }
    if (slot == nullptr) {
        giveStackLock();
        return NoResource;
    }
    // The thread of the slot's earlier port freed the slot as its last step
    // under the stackLock; reap it if it has ended, else let it end detached.
    // Nothing waits for it here, under the stackLock.
    if (slot->thread.valid != 0 && !plat::threadJoin(&slot->thread, 0)) {
        plat::threadAbandon(&slot->thread);
    }
    clearSlot(slot);
    slot->index = (uint8_t)(slot - g_ports);

    ResultCode rc = plat::serialOpen(portNumber, &slot->file);
    if (rc == Success) rc = plat::serialConfigure(slot->file, baud, dataBits, parity, stopBits);
    if (rc == Success) {
        slot->owner = owner;
        slot->receiveHook = hook;
        slot->detectMode = detectMode;
        slot->readTimeoutMs = readTimeoutMs(baud);
        slot->writeTimeoutMs = writeTimeoutMs(baud);
        slot->running = 1;
        if (!plat::eventCreate(&slot->wakeEvent)) {
            rc = PortError;
        } else if (!plat::threadStart(&slot->thread, portThreadMain, slot, 16 * 1024)) {
            plat::eventClose(&slot->wakeEvent);
            rc = PortError;
        }
    }
    if (rc != Success) {
        plat::serialClose(slot->file);
        clearSlot(slot);
    } else {
        *out = slot;
    }
    giveStackLock();
    return rc;
}

ResultCode closePort(PortSlot* slot) {
    takeStackLock();
    ResultCode rc = InvalidArgument;
    if (isPortSlot(slot)) {
        slot->running = 0;
        rc = wake(slot);
    }
    giveStackLock();
    return rc;
}

ResultCode setTransmitSource(PortSlot* slot, TransmitSource source) {
    takeStackLock();
    ResultCode rc = InvalidArgument;
    if (isPortSlot(slot)) {
        // Removing a source that is not there changes nothing for the thread.
        bool change = source != nullptr || slot->transmitSource != nullptr;
        slot->transmitSource = source;
        rc = change ? wake(slot) : Success;
    }
    giveStackLock();
    return rc;
}

void drainOutput(PortSlot* slot) {
    takeStackLock();
    bool valid = isPortSlot(slot);
    int file = valid ? slot->file : plat::kNoFile;
    uint32_t limitMs = valid ? slot->writeTimeoutMs : 0;
    giveStackLock();
    // The port stays open meanwhile: only closing its device closes it, and
    // that waits for the request in flight.
    flushPort(file, FlushOutput, limitMs);
}

ResultCode setReceiveSink(PortSlot* slot, ReceiveSink sink) {
    takeStackLock();
    ResultCode rc = InvalidArgument;
    if (isPortSlot(slot)) {
        if (sink == nullptr) flushPort(slot->file, FlushInput, 0);
        bool change = sink != nullptr || slot->receiveSink != nullptr;
        slot->receiveSink = sink;
        rc = change ? wake(slot) : Success;
    }
    giveStackLock();
    return rc;
}

ResultCode discardInput(PortSlot* slot) {
    takeStackLock();
    ResultCode rc = InvalidArgument;
    if (isPortSlot(slot)) {
        if (slot->receiveSink == nullptr) flushPort(slot->file, FlushInput, 0);
        rc = Success;
    }
    giveStackLock();
    return rc;
}

void stopPortThreads() {
    for (;;) {
        takeStackLock();
        PortSlot* slot = nullptr;
        for (int i = 0; g_portsReady && i < kPortSlotCount && slot == nullptr; ++i) {
            if (g_ports[i].thread.valid != 0) slot = &g_ports[i];
        }
        plat::Thread thread = {0, 0};
        if (slot != nullptr) {
            slot->running = 0;
            // An idle thread sleeps untimed: wake it (an open slot has its event).
            if (slot->index != kFree) wake(slot);
            thread = slot->thread;
            slot->thread.valid = 0;
            slot->thread.id = 0;
        }
        giveStackLock();
        if (slot == nullptr) return;
        if (!plat::threadJoin(&thread, 10000)) plat::threadAbandon(&thread);
    }
}

bool anyPortThread() {
    takeStackLock();
    bool any = false;
    for (int i = 0; g_portsReady && i < kPortSlotCount; ++i) {
        if (g_ports[i].thread.valid != 0 || g_ports[i].index != kFree) any = true;
    }
    giveStackLock();
    return any;
}

}  // namespace ups
