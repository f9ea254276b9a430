/*
 * The module's status block as the program, upsctl and the NUT driver read
 * it: registers 40000..40049, word n being register 40000 + n.
 */
#ifndef QXUPSSTATUS_H
#define QXUPSSTATUS_H

#include <stdint.h>

enum {
    kDeviceType = 0,
    kVoltageInput = 16,
    kVoltageOutput = 18,
    kCharge = 26,
    kPowerSource = 27,
    kDcOk = 28,
    kBatMode = 29,
    kBatReady = 30,
    kSw = 31,
    kRemote = 32,
    kBatStart = 33,
    kDevPSts = 34,
    kPolicyMode = 35,
};

/* A device of this type has no voltage registers. */
static const uint16_t kNoVoltageType = 301;

#endif /* QXUPSSTATUS_H */
