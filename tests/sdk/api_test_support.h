// The RTU API tests' helpers: a record closed at the end, the identification, a quiet line.
#pragma once

#include <gtest/gtest.h>

#include <stdint.h>

#include "QXUPSSDK.h"
#include "scripted_slave.h"

namespace testing_support {

// Closes the record when the test ends, so that a failed check does not leave
// a device open for the next test.
struct CloseAtEnd {
    UPS_DeviceDescriptor* d;
    ~CloseAtEnd() { UPS_DeviceClose(d); }
};

inline Bytes rtuIdentification(uint16_t type = 301, uint16_t hw = 2, uint16_t fw = 3) {
    return withCrc(identification(1, type, hw, fw));
}

// Nothing arrives on the line within a short while.
inline void expectQuietLine(PtyPair& pty) {
    EXPECT_EQ(pty.read(0, 300), Bytes()) << "unexpected traffic";
}

}  // namespace testing_support
