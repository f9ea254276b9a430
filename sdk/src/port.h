// Serial port layer: a pool of port slots, each with one port thread that does
// the reading and writing on its port. Transports install callbacks in the
// slot; the thread pulls bytes to send from the transmit source and pushes
// received chunks into the receive sink. While a request's caller would only
// wait for that work, it may do the same rounds itself (lendPort): a thread
// hand-off costs more than the whole exchange on a fast line.
#pragma once

#include <stdint.h>

#include "services.h"

namespace ups {

const int kPortSlotCount = 8;
const int kChunkSize = 256;

enum DetectMode : uint32_t { DetectRtu = 0, DetectAscii = 1 };

typedef int (*TransmitSource)(MasterInstance* owner, uint8_t* buffer, uint16_t capacity,
                              uint16_t* length);
typedef void (*ReceiveSink)(MasterInstance* owner, const uint8_t* bytes, uint16_t count);
typedef int (*ReceiveHook)(MasterInstance* owner);

// Input read ahead by the port thread: one read takes what is waiting, and the
// chunk rule below still sees it one byte at a time. Bytes taken in one read
// had no gap between them.
struct ReadAhead {
    uint8_t bytes[kChunkSize];
    uint16_t next;
    uint16_t count;
};
// What the rounds of a port's work carry from one round to the next, whichever
// thread runs them.
struct LineState {
    bool resync;  // the last chunk ended at a gap with a bad CRC
    bool received;
    uint64_t lastReceiveUs;
    ReadAhead input;
};

struct PortSlot {
    uint8_t index;  // 255 = free
    int file;
    TransmitSource transmitSource;
    ReceiveSink receiveSink;
    ReceiveHook receiveHook;
    uint32_t detectMode;
    uint32_t running;
    MasterInstance* owner;
    uint32_t readTimeoutMs;
    uint32_t writeTimeoutMs;
    // 1 while a caller does the port's work itself (lendPort); the port thread
    // then sleeps.
    uint32_t lent;
    // 1 while the port thread does a round of work; the port cannot be lent.
    uint32_t busy;
    LineState line;
    // Kept when the slot is cleared for its next port (everything above is
    // wiped): the thread handles until the threads are joined, and the wake
    // event for ever, because a waker signals it after giving up the stackLock,
    // possibly once the slot is free again. The event's words are only ever
    // touched through the event functions, atomically.
    plat::Thread thread;
    // The thread of the slot's earlier port when it had freed the slot but not
    // yet ended as the slot was taken again; joined at the global shutdown.
    plat::Thread endingThread;
    plat::Event wakeEvent;
};

ResultCode openPort(PortSlot** slot, uint8_t portNumber, uint32_t baud, uint32_t dataBits,
                    int32_t parity, uint32_t stopBits, MasterInstance* owner, ReceiveHook hook,
                    uint32_t detectMode);
ResultCode closePort(PortSlot* slot);
ResultCode setTransmitSource(PortSlot* slot, TransmitSource source);
// Waits until the port's output queue has drained, at most the write time-out.
// Called without the stackLock, before the transmit source is removed.
void drainOutput(PortSlot* slot);
// With none, discards the pending input.
ResultCode setReceiveSink(PortSlot* slot, ReceiveSink sink);
// Discards pending input of an idle port (no receive sink installed).
ResultCode discardInput(PortSlot* slot);

enum FlushWhat : uint32_t { FlushInput = 1, FlushOutput = 2 };
void flushPort(int file, uint32_t what, uint32_t outputLimitMs);

// Read time-out: one 11-bit character, rounded, plus 20 ms.
uint32_t readTimeoutMs(uint32_t baud);
// Write time-out: 256 characters of 11 bits, rounded, plus 20 ms.
uint32_t writeTimeoutMs(uint32_t baud);

void readAheadDiscard(ReadAhead* input);
// 1 with the next byte, 0 when nothing came within timeoutMs (a gap), -1 failure.
int readAheadTake(ReadAhead* input, int file, uint32_t timeoutMs, uint8_t* byte);

// Chunk-end rule of the port thread, one received byte at a time.
struct ChunkBuilder {
    uint8_t bytes[kChunkSize];
    uint16_t length;
    uint16_t crc;  // running CRC-16/MODBUS of the chunk (RTU)
    uint32_t detectMode;
};
void chunkStart(ChunkBuilder* chunk, uint32_t detectMode);
// Adds a byte; true when the chunk is complete: an RTU frame whose CRC is zero at
// a length the function code accepts (not while resynchronising), a line feed
// in ASCII, or a full buffer.
bool chunkAdd(ChunkBuilder* chunk, uint8_t byte, bool resync);
// The chunk ended at a silent gap: in RTU a bad CRC starts resynchronisation
// (later frames end only at their gap) and a good one ends it.
void chunkEndedAtGap(const ChunkBuilder* chunk, bool* resync);

// A request's caller may do the port's work itself while it would otherwise
// wait for the port thread: it saves the two thread hand-offs of every
// exchange. lendPort is false while the port thread is busy (the caller then
// waits as usual). While the port is lent nobody wakes its thread; the caller
// runs rounds with servePort and gives the port back with returnPort, which
// wakes the thread when work is left for it.
bool lendPort(PortSlot* slot);
// One round of the port's work (receive phase, then transmit phase) with at
// most firstByteWaitMs for a first byte; false when the port has no work (no
// sink and no source) or is not lent.
bool servePort(PortSlot* slot, uint32_t firstByteWaitMs);
void returnPort(PortSlot* slot);

bool isPortSlot(const PortSlot* slot);
// Global shutdown: stops every port thread and joins it, the ending threads of
// earlier ports included, one at a time.
void stopPortThreads();
// Whether a port is open or a port thread has not been joined.
bool anyPortThread();

}  // namespace ups
