// The device worker's log of failing reads and attempts: the first failure,
// then at most one summary a minute, and one line when answers are back.
#include <QDateTime>

#include "comAdapter.h"
#include "consolePrint.h"
#include "monitorThread.h"

QString monitorThread::duration(qint64 ms) {
    const qint64 seconds = (ms + 500) / 1000;
    if (seconds < 60) return tr("%1 s").arg(seconds);
    if (seconds < 3600) return tr("%1 min %2 s").arg(seconds / 60).arg(seconds % 60);
    return tr("%1 h %2 min").arg(seconds / 3600).arg(seconds / 60 % 60);
}

void monitorThread::noteFailure(int result, bool reading) {
    const clock::time_point now = clock::now();
    int summaryMs;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        summaryMs = m_summaryMs;
    }
    consolePrint& console = consolePrint::instance();
    ++m_failures;
    m_failureCode = result;
    if (m_failures == 1) {
        m_failingSince = now;
        m_lastSummary = now;
        // An open that failed has been logged by the adapter.
        if (reading) {
            console.printMsg(tr("ERR:%1:When reading register start from %2 (%3)")
                                 .arg(result)
                                 .arg(kStatusStart)
                                 .arg(comAdapter::resultText(result)));
        }
        return;
    }
    if (now - m_lastSummary >= std::chrono::milliseconds(summaryMs)) {
        m_lastSummary = now;
        console.printMsg(tr("Still no answer, %1 attempts (error %2: %3)")
                             .arg(m_failures)
                             .arg(result)
                             .arg(comAdapter::resultText(result)));
    }
}

void monitorThread::noteSuccess() {
    m_lastGood = clock::now();
    m_lastGoodWallMs.store(QDateTime::currentMSecsSinceEpoch());
    m_resumed = false;
    if (m_failures == 0) return;
    const qint64 ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(m_lastGood - m_failingSince).count();
    m_failures = 0;
    consolePrint::instance().printMsg(tr("Communication restored after %1").arg(duration(ms)));
}
