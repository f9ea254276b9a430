// The simulated module: its registers, its slave address and framing, the
// injected line fault, the scripted events and the counters. Free of I/O and
// clocks: the caller passes the time and puts the planned bytes on the line.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "register_bank.h"
#include "slave_protocol.h"

namespace upssim {

struct Fault {
    enum Kind {
        None,        // normal answers
        Silent,      // requests are carried out, no answer goes out
        BadCrc,      // the answer's CRC (RTU) or LRC (ASCII) is wrong
        WrongSlave,  // the answer carries the next slave address (valid checksum)
        Exception,   // every request is refused with exception code `param`
        Delay,       // the answer goes out `param` ms late
        Split,       // half the answer, a pause of `param` ms, then the rest
        Noise,       // garbage bytes right before each good answer, no pause between
    };
    Kind kind = None;
    unsigned param = 0;
};

// The garbage that Noise puts in front of an answer. It holds no colon, CR or
// LF, so an ASCII master skips it while waiting for the colon; in RTU it glues
// onto the answer, and as its second byte is no function code the chunk can
// never pass for a complete frame.
extern const Bytes kNoiseBytes;

// A piece of an answer: wait delayMs after the previous piece went out, then send.
struct Segment {
    unsigned delayMs = 0;
    Bytes bytes;
};

struct Reply {
    bool forUs = false;  // addressed to this slave or broadcast
    std::vector<Segment> segments;
};

class Simulator {
public:
    Simulator(RegisterBank bank, uint8_t slave, Framing framing);

    // Handles one received request frame and plans what goes on the line.
    // Frames for other slaves are ignored; broadcasts are carried out without an answer.
    Reply handle(const Frame& request);

    void setFault(const Fault& fault) { fault_ = fault; }
    const Fault& fault() const { return fault_; }

    // Scripted events, as the module itself would change its registers.
    void dcLoss();
    void dcReturn();
    void swOutput(bool on);
    // Charge changes by rate percent per second from nowMs on (negative
    // discharges), clamped to 0..100; 0 stops the ramp.
    void setChargeRate(double percentPerSecond, int64_t nowMs);
    double chargeRate() const { return chargeRate_; }
    // Advances the charge ramp to nowMs.
    void tick(int64_t nowMs);
    // When tick() next has work, or INT64_MAX.
    int64_t nextTickMs() const;

    RegisterBank& bank() { return bank_; }
    const RegisterBank& bank() const { return bank_; }
    uint8_t slave() const { return slave_; }
    Framing framing() const { return framing_; }
    uint64_t requests() const { return requests_; }
    uint64_t errorsInjected() const { return errors_; }

    static constexpr int64_t kTickMs = 100;

private:
    RegisterBank bank_;
    uint8_t slave_;
    Framing framing_;
    Fault fault_;
    uint64_t requests_ = 0;
    uint64_t errors_ = 0;
    uint16_t inputBeforeLoss_ = kNominalVoltageMv;
    double chargeRate_ = 0;
    double chargeLevel_ = 0;
    uint16_t chargeWritten_ = 0;
    int64_t lastTickMs_ = 0;
};

}  // namespace upssim
