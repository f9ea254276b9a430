// The device worker's wording of the line watch's log (serial line or upsd): the first failure,
// then at most one summary a minute, and one line when answers are back.
#include "comAdapter.h"
#include "consolePrint.h"
#include "monitorThread.h"

QString monitorThread::duration(qint64 ms) {
    const qint64 seconds = (ms + 500) / 1000;
    if (seconds < 60) return tr("%1 s").arg(seconds);
    if (seconds < 3600) return tr("%1 min %2 s").arg(seconds / 60).arg(seconds % 60);
    return tr("%1 h %2 min").arg(seconds / 3600).arg(seconds / 60 % 60);
}

void monitorThread::logLine(const qxwatch::LineDecision& d) {
    consolePrint& console = consolePrint::instance();
    switch (d.log) {
        case qxwatch::LineLog::FirstReadFailure:
            if (isNutCode(d.result))
                console.printMsg(nutText(d.result));
            else
                console.printMsg(tr("ERR:%1:When reading register start from %2 (%3)")
                                     .arg(d.result)
                                     .arg(kStatusStart)
                                     .arg(comAdapter::resultText(d.result)));
            break;
        case qxwatch::LineLog::Summary:
            if (isNutCode(d.result))
                console.printMsg(
                    tr("Still no answer, %1 attempts (%2)").arg(d.failures).arg(nutText(d.result)));
            else
                console.printMsg(tr("Still no answer, %1 attempts (error %2: %3)")
                                     .arg(d.failures)
                                     .arg(d.result)
                                     .arg(comAdapter::resultText(d.result)));
            break;
        case qxwatch::LineLog::Restored:
            console.printMsg(
                tr("Communication restored after %1").arg(duration(d.restoredAfterMs)));
            break;
        case qxwatch::LineLog::FirstOpenFailure:  // logged by the adapter, which opened
        case qxwatch::LineLog::None:
            break;
    }
}
