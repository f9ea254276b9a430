// Fuzzes the ASCII receive path: line-feed chunking, the transport's
// character-by-character receive sink (colon restarts, CR, LF, overlong
// frames, bad digits), receiveFrame's LRC check and the engine's decode.
//
// Input: byte 0 picks the request (read or write, count), bytes 1-2 its start
// address; the rest is what arrives on the line.
#include <string.h>

#include "ascii.h"
#include "fuzz_support.h"
#include "port.h"

using namespace ups;

static MasterInstance* g_instance = nullptr;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    g_instance = fuzz_support::openInstance(openAsciiTransport);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz_support::Request request;
    uint16_t values[125];
    memset(values, 0, sizeof values);
    if (!fuzz_support::beginRequest(g_instance, data, size, &request, values)) return 0;

    const uint8_t* line = size > 3 ? data + 3 : data + size;
    size_t lineSize = size > 3 ? size - 3 : 0;

    // A new reception starts idle, as after the request went out.
    ascii::TransportInstance* t = static_cast<ascii::TransportInstance*>(g_instance->transport);
    takeStackLock();
    t->rxState = 0;
    t->rxLength = 0;
    t->nibblePhase = 0;
    giveStackLock();

    ChunkBuilder chunk;
    size_t i = 0;
    while (i < lineSize) {
        chunkStart(&chunk, DetectAscii);
        while (i < lineSize && !chunkAdd(&chunk, line[i++], false)) {
        }
        takeStackLock();
        ascii::receiveSink(g_instance, chunk.bytes, chunk.length);
        giveStackLock();
        fuzz_support::finishRequest(g_instance, request, values);
    }
    g_instance->receiveFrame(g_instance, request.slave, nullptr);
    return 0;
}
