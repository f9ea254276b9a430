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

}  // namespace

void statusMonitorWidget::decodeStatusBlock(const monitorThread::statusBlock& block) {
    const qxwatch::StatusView view = qxwatch::decodeStatus(block.data());
    decodeEdges(view);
    // Only what differs from the view shown is touched; after the idle
    // display everything is.
    const unsigned changed = m_viewShown ? qxwatch::changedFields(m_lastView, view) : ~0u;
    m_lastView = view;
    if (!m_viewShown) m_batteryWidget->setIdle(false);
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
    if (changed & qxwatch::kChangedVoltages) {
        if (!view.hasVoltages) {
            m_lblVoltageInput->clear();
            m_lblVoltageOutput->clear();
            m_lblVoltageInputValue->clear();
            m_lblVoltageOutputValue->clear();
        } else {
            m_lblVoltageInputValue->setText(millivolts(view.voltageInputMv));
            m_lblVoltageOutputValue->setText(millivolts(view.voltageOutputMv));
        }
    }

    if (changed & qxwatch::kChangedCharge) m_batteryWidget->slotOnSetValue(view.charge);

    // A charge over 100 on the DC input, or an unknown power source, keeps
    // the label shown last.
    if (changed & qxwatch::kChangedChargeState) {
        if (view.chargeState == qxwatch::ChargeState::Charging)
            m_lblBatteryChargingStatusValue->setText(tr("Charging"));
        else if (view.chargeState == qxwatch::ChargeState::Full)
            m_lblBatteryChargingStatusValue->setText(tr("Charge Full"));
        else if (view.chargeState == qxwatch::ChargeState::Discharging)
            m_lblBatteryChargingStatusValue->setText(tr("Discharging"));
    }
    if (changed & qxwatch::kChangedSource) {
        if (view.source == qxwatch::PowerSource::Dc)
            m_lblPowerSupplyValue->setText(tr("DC"));
        else if (view.source == qxwatch::PowerSource::Battery)
            m_lblPowerSupplyValue->setText(tr("UPS"));
    }

    if (changed & qxwatch::kChangedBits) {
        m_ledDC_OK->turnOn(view.bit(qxwatch::kDcOkBit));
        m_ledBatMode->turnOn(view.bit(qxwatch::kBatModeBit));
        m_ledBatReady->turnOn(view.bit(qxwatch::kBatReadyBit));
        m_ledSW->turnOn(view.bit(qxwatch::kSwBit));
        m_ledRemote->turnOn(view.bit(qxwatch::kRemoteBit));
        m_ledBatStart->turnOn(view.bit(qxwatch::kBatStartBit));
        m_ledDevSts->turnOn(view.bit(qxwatch::kDevPStsBit));
    }

    if (changed & qxwatch::kChangedPolicy)
        m_lblPolicyModeValue->setText(policyText(view.policyCode));
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
        m_lblVoltageInputValue->setText(millivolts(0));
        m_lblVoltageOutputValue->setText(millivolts(0));
    }
    m_batteryWidget->slotOnSetValue(0);
    m_batteryWidget->setIdle(true);
    m_batteryWidget->setAlertLevel(0);
    m_lblBatteryChargingStatusValue->setText(tr("NULL"));
    m_lblPowerSupplyValue->setText(tr("NULL"));
    for (ledWidget* led : {m_ledDC_OK, m_ledBatMode, m_ledBatReady, m_ledSW, m_ledRemote,
                           m_ledBatStart, m_ledDevSts})
        led->turnOff();
    m_lblPolicyModeValue->setText(tr("NULL"));
}
