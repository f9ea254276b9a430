// The status page's display: a decoded block on the labels, gauge and
// indicators, and the idle display while the device is closed.
#include <QChar>
#include <QLabel>

#include "batteryWidget.h"
#include "ledWidget.h"
#include "powerActions.h"
#include "statusMonitorWidget.h"

namespace {

QString millivolts(quint16 value) {
    return QString::number(value) + QStringLiteral("mV");
}

// A reading, in the normal text colour.
void showValue(QLabel* label, const QString& text) {
    label->setText(text);
    label->setEnabled(true);
}

// No reading: a dash (a sign, the same in every language) in the disabled
// text colour, so that it cannot pass for a value of the module.
void showPlaceholder(QLabel* label) {
    label->setText(QString(QChar(0x2014)));
    label->setEnabled(false);
}

}  // namespace

void statusMonitorWidget::decodeStatusBlock(const monitorThread::statusBlock& block) {
    decodeStatusView(qxwatch::decodeStatus(block.data()));
}

void statusMonitorWidget::decodeStatusView(const qxwatch::StatusView& view) {
    decodeEdges(view);
    // Only what differs from the view shown is touched; after the idle
    // display everything is.
    const unsigned changed = m_viewShown ? qxwatch::changedFields(m_lastView, view) : ~0u;
    m_lastView = view;
    if (!m_viewShown) m_batteryWidget->setIdle(!view.hasCharge);
    m_viewShown = true;
    if (changed != 0) showView(view, changed);
    showTimeLeft();
}

void statusMonitorWidget::slotOnRuntime(qint64 secondsLeft) {
    Q_UNUSED(secondsLeft);
    showTimeLeft();
}

void statusMonitorWidget::showTimeLeft() {
    const bool shown = m_viewShown && m_lastView.onBattery;
    if (shown) m_lblTimeLeftValue->setText(powerActions::timeLeftText(m_actions->secondsLeft()));
    m_lblTimeLeft->setVisible(shown);
    m_lblTimeLeftValue->setVisible(shown);
}

void statusMonitorWidget::showView(const qxwatch::StatusView& view, unsigned changed) {
    // A field that gained or lost its source is drawn anew with its value.
    if (changed & qxwatch::kChangedKnown) changed = ~0u;
    if (changed & qxwatch::kChangedVoltages) {
        if (!view.hasVoltages && !view.hasDeviceType) {
            // Not published (a UPS watched through upsd): unknown, not absent.
            showPlaceholder(m_lblVoltageInputValue);
            showPlaceholder(m_lblVoltageOutputValue);
        } else if (!view.hasVoltages) {
            m_lblVoltageInput->clear();
            m_lblVoltageOutput->clear();
            m_lblVoltageInputValue->clear();
            m_lblVoltageOutputValue->clear();
        } else {
            showValue(m_lblVoltageInputValue, millivolts(view.voltageInputMv));
            showValue(m_lblVoltageOutputValue, millivolts(view.voltageOutputMv));
        }
    }

    if (changed & qxwatch::kChangedCharge) {
        m_batteryWidget->setIdle(!view.hasCharge);
        m_batteryWidget->slotOnSetValue(view.hasCharge ? view.charge : 0);
    }

    // A charge over 100 on the DC input, or an unknown power source, keeps
    // the label shown last (after the idle display: its placeholder).
    if (changed & qxwatch::kChangedChargeState) {
        if (view.chargeState == qxwatch::ChargeState::Charging)
            showValue(m_lblBatteryChargingStatusValue, tr("Charging"));
        else if (view.chargeState == qxwatch::ChargeState::Full)
            showValue(m_lblBatteryChargingStatusValue, tr("Charge Full"));
        else if (view.chargeState == qxwatch::ChargeState::Discharging)
            showValue(m_lblBatteryChargingStatusValue, tr("Discharging"));
        else if (!view.hasDeviceType)
            showPlaceholder(m_lblBatteryChargingStatusValue);
    }
    if (changed & qxwatch::kChangedSource) {
        if (view.source == qxwatch::PowerSource::Dc)
            showValue(m_lblPowerSupplyValue, tr("DC"));
        else if (view.source == qxwatch::PowerSource::Battery)
            showValue(m_lblPowerSupplyValue, tr("UPS"));
    }

    if (changed & qxwatch::kChangedBits) {
        // In the order of qxwatch::Bit; one without a source is a grey ring.
        ledWidget* const leds[] = {m_ledDC_OK,  m_ledBatMode,  m_ledBatReady, m_ledSW,
                                   m_ledRemote, m_ledBatStart, m_ledDevSts};
        for (int b = qxwatch::kDcOkBit; b <= qxwatch::kDevPStsBit; ++b) {
            const qxwatch::Bit bit = static_cast<qxwatch::Bit>(b);
            leds[b]->setEnabled(view.knows(bit));
            if (view.knows(bit))
                leds[b]->turnOn(view.bit(bit));
            else
                leds[b]->turnOff();
        }
    }

    if (changed & qxwatch::kChangedPolicy) {
        if (view.hasPolicy)
            showValue(m_lblPolicyModeValue, policyText(view.policyCode));
        else
            showPlaceholder(m_lblPolicyModeValue);
    }
}

QString statusMonitorWidget::policyText(quint16 code) {
    switch (code) {
        case 0:
            return tr("PC");
        case 1:
            return tr("0.5 A");
        case 2:
            return tr("0.4 A");
        case 3:
            return tr("0.3 A");
        case 4:
            return tr("0.2 A");
        case 5:
            return QString(QChar(0x221E)) + tr(" Sec.");
        case 6:
            return tr("20 Sec.");
        case 7:
            return tr("15 Sec.");
        case 8:
            return tr("10 Sec.");
        case 9:
            return tr("5 Sec.");
        default:
            return tr("NULL");
    }
}

void statusMonitorWidget::slotOnUpdate() {
    if (m_linkState == monitorThread::Connected) return;
    showPlaceholders();
}

void statusMonitorWidget::showPlaceholders() {
    m_viewShown = false;
    showTimeLeft();

    // The last device type read decides the voltage rows; the edge memory
    // stays, so a loss while disconnected is reported at the next read.
    if (!m_lastView.hasVoltages) {
        m_lblVoltageInput->clear();
        m_lblVoltageOutput->clear();
        m_lblVoltageInputValue->clear();
        m_lblVoltageOutputValue->clear();
    } else {
        showPlaceholder(m_lblVoltageInputValue);
        showPlaceholder(m_lblVoltageOutputValue);
    }
    m_batteryWidget->slotOnSetValue(0);
    m_batteryWidget->setIdle(true);
    m_batteryWidget->setAlertLevel(0);
    showPlaceholder(m_lblBatteryChargingStatusValue);
    showPlaceholder(m_lblPowerSupplyValue);
    showPlaceholder(m_lblPolicyModeValue);
    for (ledWidget* led : {m_ledDC_OK, m_ledBatMode, m_ledBatReady, m_ledSW, m_ledRemote,
                           m_ledBatStart, m_ledDevSts}) {
        led->turnOff();
        led->setEnabled(false);
    }
}
