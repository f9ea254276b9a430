// Fuzzes the RTU receive path: the port thread's chunking (CRC and frame
// length, gaps, 256-byte limit, resynchronisation), the transport's receive
// sink and hook, receiveFrame's checks and the engine's decode.
//
// Input: byte 0 picks the request (read or write, count), bytes 1-2 its start
// address, byte 3 the gap interval (a silent gap after every n bytes; 0 for
// none); the rest is what arrives on the line.
#include <string.h>

#include "fuzz_support.h"
#include "port.h"
#include "rtu.h"

using namespace ups;

static MasterInstance* g_instance = nullptr;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    g_instance = fuzz_support::openInstance(openRtuTransport);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz_support::Request request;
    uint16_t values[125];
    memset(values, 0, sizeof values);
    if (!fuzz_support::beginRequest(g_instance, data, size, &request, values)) return 0;

    size_t gapEvery = size >= 4 ? data[3] : 0;
    const uint8_t* line = size > 4 ? data + 4 : data + size;
    size_t lineSize = size > 4 ? size - 4 : 0;

    bool resync = false;
    ChunkBuilder chunk;
    size_t i = 0;
    while (i < lineSize) {
        chunkStart(&chunk, DetectRtu);
        size_t sinceGap = 0;
        bool complete = false;
        while (i < lineSize && !complete) {
            complete = chunkAdd(&chunk, line[i++], resync);
            ++sinceGap;
            if (!complete && (i == lineSize || (gapEvery != 0 && sinceGap % gapEvery == 0))) {
                chunkEndedAtGap(&chunk, &resync);
                break;
            }
        }
        takeStackLock();
        rtu::receiveSink(g_instance, chunk.bytes, chunk.length);
        rtu::receiveHook(g_instance);
        giveStackLock();
        fuzz_support::finishRequest(g_instance, request, values);
    }
    // Leave the transport idle for the next input.
    g_instance->receiveFrame(g_instance, request.slave, nullptr);
    return 0;
}
