#include "simulator.h"

#include <math.h>

#include <utility>

namespace upssim {

const Bytes kNoiseBytes = {0xFF, 0x00, 0x55, 0xAA, 0x3F, 0x80};

Simulator::Simulator(RegisterBank bank, uint8_t slave, Framing framing)
    : bank_(std::move(bank)), slave_(slave), framing_(framing) {}

Reply Simulator::handle(const Frame& request) {
    Reply reply;
    bool broadcast = request.slave == kBroadcastAddress;
    if (!broadcast && request.slave != slave_)
        return reply;
    reply.forUs = true;
    ++requests_;
    if (fault_.kind != Fault::None)
        ++errors_;

    if (fault_.kind == Fault::Exception) {
        if (!broadcast) {
            uint8_t fc = request.pdu.empty() ? 0 : request.pdu[0];
            reply.segments.push_back(
                {0, encodeFrame(framing_, slave_, exceptionPdu(fc, (uint8_t)fault_.param))});
        }
        return reply;
    }
    Bytes answer = processPdu(bank_, request.pdu);
    if (broadcast || fault_.kind == Fault::Silent)
        return reply;

    uint8_t address = slave_;
    if (fault_.kind == Fault::WrongSlave)
        address = (uint8_t)(slave_ % kMaxSlaveAddress + 1);
    Bytes frame = encodeFrame(framing_, address, answer, fault_.kind == Fault::BadCrc);
    switch (fault_.kind) {
        case Fault::Delay:
            reply.segments.push_back({fault_.param, std::move(frame)});
            break;
        case Fault::Split: {
            size_t half = frame.size() / 2;
            reply.segments.push_back({0, Bytes(frame.begin(), frame.begin() + (ptrdiff_t)half)});
            reply.segments.push_back(
                {fault_.param, Bytes(frame.begin() + (ptrdiff_t)half, frame.end())});
            break;
        }
        case Fault::Noise: {
            Bytes line = kNoiseBytes;
            line.insert(line.end(), frame.begin(), frame.end());
            reply.segments.push_back({0, std::move(line)});
            break;
        }
        default:
            reply.segments.push_back({0, std::move(frame)});
            break;
    }
    return reply;
}

void Simulator::dcLoss() {
    if (bank_.value(reg::DcOk) != 0 && bank_.value(reg::InputVoltage) != 0)
        inputBeforeLoss_ = bank_.value(reg::InputVoltage);
    bank_.setValue(reg::DcOk, 0);
    bank_.setValue(reg::PowerSource, kPowerFromBattery);
    bank_.setValue(reg::InputVoltage, 0);
    bank_.setValue(reg::BatteryMode, 1);
}

void Simulator::dcReturn() {
    bank_.setValue(reg::DcOk, 1);
    bank_.setValue(reg::PowerSource, kPowerFromDc);
    bank_.setValue(reg::InputVoltage, inputBeforeLoss_);
    bank_.setValue(reg::BatteryMode, 0);
}

void Simulator::swOutput(bool on) {
    bank_.setValue(reg::SwOutput, on ? 1 : 0);
}

void Simulator::setChargeRate(double percentPerSecond, int64_t nowMs) {
    tick(nowMs);
    chargeRate_ = percentPerSecond;
    chargeWritten_ = bank_.value(reg::Charge);
    chargeLevel_ = chargeWritten_;
    lastTickMs_ = nowMs;
}

void Simulator::tick(int64_t nowMs) {
    if (chargeRate_ == 0 || nowMs <= lastTickMs_)
        return;
    // A value set from outside meanwhile is where the ramp goes on from.
    uint16_t current = bank_.value(reg::Charge);
    if (current != chargeWritten_)
        chargeLevel_ = current;
    chargeLevel_ += chargeRate_ * (double)(nowMs - lastTickMs_) / 1000.0;
    chargeLevel_ = chargeLevel_ < 0 ? 0 : chargeLevel_ > 100 ? 100 : chargeLevel_;
    lastTickMs_ = nowMs;
    chargeWritten_ = (uint16_t)floor(chargeLevel_ + 1e-9);
    bank_.setValue(reg::Charge, chargeWritten_);
}

int64_t Simulator::nextTickMs() const {
    return chargeRate_ == 0 ? INT64_MAX : lastTickMs_ + kTickMs;
}

}  // namespace upssim
