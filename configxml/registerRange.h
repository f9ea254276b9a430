// The range a register table allows for a register's value: a plain check with
// no Qt, shared by the write dialog, upsctl and the NUT driver.
#pragma once

#include <stdint.h>

namespace registerRange {

// Without <Min>/<Max> a register allows every 16-bit value.
struct Range {
    uint16_t min = 0;
    uint16_t max = 65535;
};

// Whether value may be written: never above 65535 (it would be cut to its low
// 16 bits), and within the table's range.
inline bool allows(const Range& range, unsigned long value) {
    return value <= 65535UL && value >= range.min && value <= range.max;
}

}  // namespace registerRange
