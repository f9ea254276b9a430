// Shared set-up of the receive-path fuzz targets: one master instance bound to
// a real transport on a pseudo terminal, so that the transport's callbacks,
// receiveFrame and the engine's decode run exactly as in the library. The
// port thread stays idle: the target plays its part by feeding chunks to the
// receive sink itself, under the stackLock, as the port thread does.
#pragma once

#include <pty.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include "engine.h"
#include "services.h"

namespace fuzz_support {

const unsigned kPortNumber = 250;

typedef ResultCode (*OpenTransport)(ups::MasterInstance*, uint8_t, uint32_t, int32_t, uint32_t);

inline ups::MasterInstance* openInstance(OpenTransport open) {
    int master = -1;
    int slave = -1;
    char name[128];
    if (openpty(&master, &slave, name, nullptr, nullptr) != 0) abort();
    setenv("QXUPS_COM250", name, 1);
    ups::MasterInstance* instance = ups::acquireInstance();
    if (instance == nullptr) abort();
    if (open(instance, kPortNumber, 115200, ups::plat::ParityNone, 2) != Success) abort();
    return instance;  // kept for the life of the process, as are both pty ends
}

// Request shape chosen by the input's first byte: a read or a write of 1..125
// (1..123) registers at a start address taken from the second and third bytes.
struct Request {
    bool write;
    uint8_t slave;
    uint16_t start;
    uint8_t count;
};

inline Request requestFrom(const uint8_t* data, size_t size) {
    Request r = {false, 1, 0, 3};
    if (size >= 1) {
        r.write = (data[0] & 0x80) != 0;
        r.count = (uint8_t)(1 + (data[0] & 0x7F) % (r.write ? 123 : 125));
    }
    if (size >= 3) r.start = (uint16_t)((data[1] << 8 | data[2]) % (65536 - r.count));
    return r;
}

// Builds the request the input chooses, in place (state Start), as a real
// request would; false when the engine refuses it.
inline bool beginRequest(ups::MasterInstance* instance, const uint8_t* data, size_t size,
                         Request* request, uint16_t* values) {
    *request = requestFrom(data, size);
    int32_t state = ups::Start;
    ResultCode result = InProgress;
    if (request->write) {
        ups::writeMultipleRegisters(instance, request->slave, request->start, request->count,
                                    values, &state, &result);
    } else {
        ups::readHoldingRegisters(instance, request->slave, request->start, request->count, values,
                                  &state, &result);
    }
    return state == ups::Send;
}

// After a completion: validate the frame and decode it, as the Wait and Decode steps do.
inline void finishRequest(ups::MasterInstance* instance, const Request& r, uint16_t* values) {
    uint8_t code = 0;
    if (!ups::takeCompletion(instance->completion, &code)) return;
    if (code != ups::FrameReceived) {
        instance->receiveFrame(instance, r.slave, nullptr);
        return;
    }
    if (instance->receiveFrame(instance, r.slave, &instance->pduLength) != Success) return;
    int32_t state = ups::Decode;
    ResultCode result = InProgress;
    if (r.write) {
        ups::writeMultipleRegisters(instance, r.slave, r.start, r.count, values, &state, &result);
    } else {
        ups::readHoldingRegisters(instance, r.slave, r.start, r.count, values, &state, &result);
    }
    if (state != ups::Done) abort();
}

}  // namespace fuzz_support
