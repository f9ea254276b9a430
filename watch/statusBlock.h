// The module's status block (registers 40000..40049) decoded into one plain record.
#pragma once

#include <stdint.h>

namespace qxwatch {

const uint16_t kStatusStart = 40000;
const int kStatusWords = 50;

enum class PowerSource : uint8_t { Dc, Battery, Unknown };  // word 27: 1, 2, other
// Over100: on DC with a charge above 100; Unknown: a power-source code other than 1/2.
enum class ChargeState : uint8_t { Charging, Full, Over100, Discharging, Unknown };
// The seven bits, in the order the pages show them (words 28..34).
enum Bit { kDcOkBit, kBatModeBit, kBatReadyBit, kSwBit, kRemoteBit, kBatStartBit, kDevPStsBit };
const uint8_t kAllBits = 0x7f;

struct StatusView {
    uint16_t deviceType;
    uint16_t sourceCode;  // word 27 as read
    PowerSource source;
    ChargeState chargeState;
    uint16_t charge;
    bool onBattery;    // DC_OK (word 28) == 0: the one rule for all front ends
    bool hasVoltages;  // false for a device type without voltage registers
    uint16_t voltageInputMv;
    uint16_t voltageOutputMv;  // both 0 without voltages
    uint8_t bits;              // bit k set = Bit k on
    uint16_t policyCode;       // word 35; 0..9 known, anything else shown as none
    // What the source gives. A block gives everything; a UPS watched
    // through Network UPS Tools may publish only some of it, and what it
    // leaves out is shown as unknown (grey LED, "—"), never invented.
    uint8_t knownBits = kAllBits;  // bit k set = Bit k has a source
    bool hasCharge = true;
    bool hasPolicy = true;
    bool hasDeviceType = true;  // deviceType (and so the product's tables) known
    bool bit(Bit b) const { return (bits >> b) & 1u; }
    bool knows(Bit b) const { return (knownBits >> b) & 1u; }
};

// What differs between two views, so a page touches only what changed.
enum Changed : unsigned {
    kChangedDeviceType = 1u << 0,
    kChangedSource = 1u << 1,
    kChangedChargeState = 1u << 2,
    kChangedCharge = 1u << 3,
    kChangedOnBattery = 1u << 4,
    kChangedVoltages = 1u << 5,
    kChangedBits = 1u << 6,
    kChangedPolicy = 1u << 7,
    kChangedKnown = 1u << 8,  // a field gained or lost its source
};

// words: the 50 words of the block.
StatusView decodeStatus(const uint16_t* words);
unsigned changedFields(const StatusView& a, const StatusView& b);
inline bool operator==(const StatusView& a, const StatusView& b) {
    return changedFields(a, b) == 0;
}
inline bool operator!=(const StatusView& a, const StatusView& b) {
    return !(a == b);
}

}  // namespace qxwatch
