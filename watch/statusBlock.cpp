// Decoding of the status block and the comparison of two decoded views.
#include "statusBlock.h"

#include "QXUPSStatus.h"

namespace qxwatch {

StatusView decodeStatus(const uint16_t* w) {
    StatusView v = {};
    v.deviceType = w[kDeviceType];
    v.sourceCode = w[kPowerSource];
    v.charge = w[kCharge];
    v.source = v.sourceCode == 1   ? PowerSource::Dc
               : v.sourceCode == 2 ? PowerSource::Battery
                                   : PowerSource::Unknown;
    if (v.source == PowerSource::Battery)
        v.chargeState = ChargeState::Discharging;
    else if (v.source == PowerSource::Unknown)
        v.chargeState = ChargeState::Unknown;
    else
        v.chargeState = v.charge < 100    ? ChargeState::Charging
                        : v.charge == 100 ? ChargeState::Full
                                          : ChargeState::Over100;
    v.onBattery = w[kDcOk] == 0;
    v.hasVoltages = v.deviceType != kNoVoltageType;
    if (v.hasVoltages) {
        v.voltageInputMv = w[kVoltageInput];
        v.voltageOutputMv = w[kVoltageOutput];
    }
    for (int k = 0; k <= kDevPStsBit; ++k)
        if (w[kDcOk + k] != 0) v.bits |= uint8_t(1u << k);
    v.policyCode = w[kPolicyMode];
    return v;
}

unsigned changedFields(const StatusView& a, const StatusView& b) {
    unsigned m = 0;
    if (a.deviceType != b.deviceType) m |= kChangedDeviceType;
    if (a.sourceCode != b.sourceCode) m |= kChangedSource;
    if (a.chargeState != b.chargeState) m |= kChangedChargeState;
    if (a.charge != b.charge) m |= kChangedCharge;
    if (a.onBattery != b.onBattery) m |= kChangedOnBattery;
    if (a.hasVoltages != b.hasVoltages || a.voltageInputMv != b.voltageInputMv ||
        a.voltageOutputMv != b.voltageOutputMv)
        m |= kChangedVoltages;
    if (a.bits != b.bits) m |= kChangedBits;
    if (a.policyCode != b.policyCode) m |= kChangedPolicy;
    if (a.knownBits != b.knownBits || a.hasCharge != b.hasCharge || a.hasPolicy != b.hasPolicy ||
        a.hasDeviceType != b.hasDeviceType)
        m |= kChangedKnown;
    return m;
}

}  // namespace qxwatch
