#include "port.h"

#include <stddef.h>
#include <string.h>

#include "crc.h"
#include "rtu.h"

namespace ups {

namespace {

PortSlot g_ports[kPortSlotCount];
bool g_portsReady = false;

// Under the stackLock. The thread handles and the wake event stay (see PortSlot).
void clearSlot(PortSlot* slot) {
    memset(slot, 0, offsetof(PortSlot, thread));
    slot->index = kFree;
    slot->file = plat::kNoFile;
}

void initPool() {
    if (g_portsReady) return;
    // Before the first port: no thread and no waker exists yet.
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
void receivePhase(PortSlot* slot, const PortView& view, LineState* line, uint32_t firstByteWaitMs) {
    ChunkBuilder chunk;
    uint8_t byte = 0;
    if (readAheadTake(&line->input, view.file, firstByteWaitMs, &byte) != 1) return;
    chunkStart(&chunk, view.detectMode);
    while (!chunkAdd(&chunk, byte, line->resync)) {
        int got = readAheadTake(&line->input, view.file, view.readTimeoutMs, &byte);
        if (got < 0) break;
        if (got == 0) {
            chunkEndedAtGap(&chunk, &line->resync);
            break;
        }
    }

    takeStackLock();
    if (slot->running == 1 && slot->receiveSink != nullptr) {
        slot->receiveSink(slot->owner, chunk.bytes, chunk.length);
        if (slot->receiveHook != nullptr) slot->receiveHook(slot->owner);
    }
    giveStackLock();
    line->received = true;
    line->lastReceiveUs = plat::monotonicUs();
}

// Waits out what is left of the slave's minimum turnaround gap after its last
// byte; no longer than that.
void turnaroundPause(const LineState& line) {
    const uint64_t kTurnaroundUs = 2000;
    if (!line.received) return;
    uint64_t since = plat::monotonicUs() - line.lastReceiveUs;
    if (since < kTurnaroundUs) plat::sleepUs((uint32_t)(kTurnaroundUs - since));
}

// Sends what the transmit source yields until it has nothing more.
void transmitPhase(PortSlot* slot, const PortView& view, LineState* line) {
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
        giveStackLock();
        if (length == 0) return;
        // A new request goes out: what was read ahead belongs to an earlier exchange.
        readAheadDiscard(&line->input);
        turnaroundPause(*line);
        uint16_t written = 0;
        while (written < length) {
            int n = plat::serialWrite(view.file, buffer + written, (size_t)(length - written),
                                      view.writeTimeoutMs);
            if (n <= 0) break;
            written = (uint16_t)(written + n);
        }
        if (written == 0) return;
    }
}

// One round of the port's work, run by the port thread or by the caller the
// port is lent to, never by both at once (busy and lent, under the stackLock).
void runRound(PortSlot* slot, const PortView& view, uint32_t firstByteWaitMs) {
    if (view.sink != nullptr) receivePhase(slot, view, &slot->line, firstByteWaitMs);
    transmitPhase(slot, view, &slot->line);
}

void* portThreadMain(void* arg) {
    PortSlot* slot = static_cast<PortSlot*>(arg);
    plat::raiseThreadPriority();
    PortView view;
    for (;;) {
        takeStackLock();
        readView(slot, &view);
        bool lent = slot->lent != 0;
        bool idle = view.running == 1 && view.sink == nullptr && view.source == nullptr;
        // Every removal of the sink discards the pending input, and input
        // already read ahead is part of it. Under the lock: a caller may take
        // the port the moment it is given up.
        if (!lent && view.sink == nullptr) readAheadDiscard(&slot->line.input);
        slot->busy = lent || idle ? 0 : 1;
        giveStackLock();
        if (lent || idle) {
            // Sleep until woken: every path that clears running or installs a
            // callback signals wakeEvent, and so does giving a lent port back.
            plat::eventWait(&slot->wakeEvent, plat::kWaitForever);
            continue;
        }
        if (view.running != 1) break;
        runRound(slot, view, view.readTimeoutMs);
    }
    flushPort(view.file, FlushInput | FlushOutput, view.writeTimeoutMs);
    plat::serialClose(view.file);
    takeStackLock();
    plat::eventClose(&slot->wakeEvent);
    clearSlot(slot);
    giveStackLock();
    return nullptr;
}

// Under the stackLock: whether a free slot can take a new port. The thread of
// its earlier port frees the slot as its last step under the stackLock and
// ends a moment later. Nothing waits for it here, under the stackLock: a
// thread that has not ended yet is kept aside for the global shutdown to join
// (one a slot; a slot with two such threads waits for its next turn).
bool takeableSlot(PortSlot* slot) {
    if (slot->index != kFree) return false;
    if (slot->endingThread.valid != 0) plat::threadJoin(&slot->endingThread, 0);
    if (slot->thread.valid == 0 || plat::threadJoin(&slot->thread, 0)) return true;
    if (slot->endingThread.valid != 0) return false;
    slot->endingThread = slot->thread;
    slot->thread.valid = 0;
    slot->thread.id = 0;
    return true;
}

ResultCode wake(PortSlot* slot) {
    // The port thread changing its own slot reads its view afresh anyway, and
    // so does a caller the port is lent to; giving it back wakes the thread.
    if (slot->lent != 0 || plat::threadIsCurrent(&slot->thread)) return Success;
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

bool lendPort(PortSlot* slot) {
    takeStackLock();
    bool lent = isPortSlot(slot) && slot->running == 1 && slot->busy == 0 && slot->lent == 0;
    if (lent) slot->lent = 1;
    giveStackLock();
    return lent;
}

bool servePort(PortSlot* slot, uint32_t firstByteWaitMs) {
    PortView view;
    takeStackLock();
    bool lent = isPortSlot(slot) && slot->lent != 0;
    if (lent) {
        readView(slot, &view);
        if (view.sink == nullptr) readAheadDiscard(&slot->line.input);
    }
    giveStackLock();
    if (!lent || view.running != 1 || (view.sink == nullptr && view.source == nullptr)) {
        return false;
    }
    uint32_t wait = firstByteWaitMs < view.readTimeoutMs ? firstByteWaitMs : view.readTimeoutMs;
    runRound(slot, view, wait);
    return true;
}

void returnPort(PortSlot* slot) {
    takeStackLock();
    if (isPortSlot(slot) && slot->lent != 0) {
        slot->lent = 0;
        if (slot->running != 1 || slot->receiveSink != nullptr || slot->transmitSource != nullptr) {
            wake(slot);
        }
    }
    giveStackLock();
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
        if (takeableSlot(&g_ports[i])) slot = &g_ports[i];
    }
    if (slot == nullptr) {
        giveStackLock();
        return NoResource;
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
        // Removing a sink ends a reception and discards what came with it; with
        // none installed, that was done when it was removed.
        if (sink == nullptr && slot->receiveSink != nullptr) flushPort(slot->file, FlushInput, 0);
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
        plat::Thread* handle = nullptr;
        for (int i = 0; g_portsReady && i < kPortSlotCount && handle == nullptr; ++i) {
            PortSlot* slot = &g_ports[i];
            if (slot->thread.valid != 0) {
                slot->running = 0;
                // An idle thread sleeps untimed: wake it (an open slot has its event).
                if (slot->index != kFree) wake(slot);
                handle = &slot->thread;
            } else if (slot->endingThread.valid != 0) {
                handle = &slot->endingThread;
            }
        }
        plat::Thread thread = {0, 0};
        if (handle != nullptr) {
            thread = *handle;
            handle->valid = 0;
            handle->id = 0;
        }
        giveStackLock();
        if (handle == nullptr) return;
        // However long it takes (see stopTimerService): every wait of a port
        // thread is bounded by its line's time-outs or ended by the wake-up.
        plat::threadJoin(&thread, plat::kWaitForever);
    }
}

bool anyPortThread() {
    takeStackLock();
    bool any = false;
    for (int i = 0; g_portsReady && i < kPortSlotCount; ++i) {
        const PortSlot& slot = g_ports[i];
        if (slot.thread.valid != 0 || slot.endingThread.valid != 0 || slot.index != kFree) {
            any = true;
        }
    }
    giveStackLock();
    return any;
}

}  // namespace ups
