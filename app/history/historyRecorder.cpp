// The history fed from the status page: samples, events and the learned discharge rate.
#include "historyRecorder.h"

#include <climits>
#include <memory>

#include "batThread.h"
#include "historyStore.h"
#include "monitorThread.h"
#include "powerActions.h"
#include "statusMonitorWidget.h"

namespace history {

sample fromStatusView(const qxwatch::StatusView& view, qint64 timeMs) {
    sample s;
    s.timeMs = timeMs;
    s.charge = view.charge;
    s.inputMv = view.hasVoltages ? view.voltageInputMv : -1;
    s.outputMv = view.hasVoltages ? view.voltageOutputMv : -1;
    s.source = view.sourceCode;
    // As the status page reads it: on the DC input charging or full, on battery discharging.
    s.battery = s.source == 2 ? 2 : (s.source == 1 && s.charge >= 100 ? 1 : 0);
    s.doBits = view.bits & 0x0f;         // DC_OK, Bat.Mode, Bat.Ready, SW
    s.diBits = (view.bits >> 4) & 0x07;  // Remote, Bat.Start, Dev.PSts
    return s;
}

void recordFrom(statusMonitorWidget* page, historyStore* store) {
    // The block was decoded before it is sent: the estimate is this block's.
    QObject::connect(page, &statusMonitorWidget::signalStatusView, store,
                     [store, page](const qxwatch::StatusView& view) {
                         sample s = fromStatusView(view, historyStore::nowMs());
                         const qint64 left = page->actions()->secondsLeft();
                         s.runtime = left < 0 ? -1 : int(qMin<qint64>(left, INT_MAX));
                         store->recordSample(s);
                     });
    // What the discharges taught, read when the file opens and kept after each.
    QObject::connect(store, &historyStore::signalLearnedRate, page,
                     &statusMonitorWidget::slotOnLearnedRate);
    QObject::connect(page->actions(), &powerActions::signalLearnedRate, store,
                     [store](double rate) { store->storeLearnedRate(rate); });
    // A disconnect only after a connect: a failed open is the log's business.
    // A lost line is the worker reconnecting after a connection; it is
    // restored when the worker is connected again.
    auto connected = std::make_shared<bool>(false);
    auto lost = std::make_shared<bool>(false);
    QObject::connect(
        page, &statusMonitorWidget::signalLinkState, store, [store, connected, lost](int state) {
            if (state == monitorThread::Connected && !*connected) {
                *connected = true;
                store->breakSamples();
                store->recordEvent(Connected, QStringLiteral("Connected."));
            } else if (state == monitorThread::Reconnecting && *connected && !*lost) {
                *lost = true;
                store->breakSamples();
                store->recordEvent(LineLost, QStringLiteral("Communication with the module lost."));
            } else if (state == monitorThread::Connected && *lost) {
                *lost = false;
                store->recordEvent(LineRestored,
                                   QStringLiteral("Communication with the module restored."));
            } else if (state == monitorThread::Disconnected && *connected) {
                *connected = false;
                *lost = false;
                store->recordEvent(Disconnected, QStringLiteral("Disconnected."));
            }
        });
    QObject::connect(page, &statusMonitorWidget::signalPowerEvent, store, [store](bool dcOk) {
        if (dcOk)
            store->recordEvent(DcBack, QStringLiteral("DC is connected."));
        else
            store->recordEvent(DcLost, QStringLiteral("DC is broken."));
    });
    QObject::connect(page, &statusMonitorWidget::signalSwOutput, store, [store](bool on) {
        store->recordEvent(on ? SwOn : SwOff,
                           on ? QStringLiteral("SW ON.") : QStringLiteral("SW OFF."));
    });
    QObject::connect(page, &statusMonitorWidget::signalBatteryLevel, store,
                     [store](int level, const QString& message) {
                         store->recordEvent(level >= 2 ? CriticalBattery : LowBattery, message);
                     });
    // Queued to this thread: the script starts inside the DC loss's handling,
    // so its start is recorded after the loss, as the log shows them.
    QObject::connect(
        page->scriptThread(), &batThread::signalScriptStarted, store,
        [store](const QString& message) { store->recordEvent(ScriptStarted, message); });
    QObject::connect(page->scriptThread(), &batThread::signalScriptEnded, store,
                     [store](const QString& message) { store->recordEvent(ScriptEnded, message); });
    QObject::connect(
        page->worker(), &monitorThread::signalWritten, store,
        [store](quint32 address, quint16 value, int result) {
            store->recordEvent(
                WriteRegister,
                result == 0
                    ? QStringLiteral("%1 = %2: done").arg(address).arg(value)
                    : QStringLiteral("%1 = %2: failed (%3)").arg(address).arg(value).arg(result));
        });
}

}  // namespace history
