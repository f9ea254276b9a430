#include "historyStore.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QSqlDatabase>
#include <cstdlib>

#include "appPaths.h"
#include "consolePrint.h"
#include "settingsStore.h"

namespace {

const qint64 kDayMs = 24 * 3600 * 1000LL;
const qint64 kPurgeIntervalMs = 3600 * 1000LL;

}  // namespace

QString historyStore::defaultPath() {
    return appPaths::settingsFile(QStringLiteral("history.sqlite"));
}

qint64 historyStore::nowMs() {
    return QDateTime::currentMSecsSinceEpoch();
}

historyStore::historyStore(const QString& path, QObject* parent) : QThread(parent), m_path(path) {
    m_retentionDays = settingsStore::historyDays();
}

historyStore::~historyStore() {
    stop();
}

void historyStore::open() {
    start(QThread::LowPriority);
}

void historyStore::stop() {
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_stop = true;
    }
    m_wake.notify_all();
    wait();
}

void historyStore::flush() {
    std::unique_lock<std::mutex> lock(m_lock);
    if (!isRunning() || state() == Unavailable) return;
    const quint64 target = ++m_flushWanted;
    m_wake.notify_all();
    // Bounded: a writer stuck on a dead disk never hangs the caller.
    m_done.wait_for(lock, std::chrono::seconds(30), [this, target]() {
        return m_flushDone >= target || state() == Unavailable || !isRunning();
    });
}

bool historyStore::recordSample(const history::sample& s) {
    std::lock_guard<std::mutex> guard(m_lock);
    if (state() == Unavailable || m_stop) return false;
    const history::sample& last = m_last;
    const bool keep =
        !m_haveLast || s.timeMs < last.timeMs || s.timeMs - last.timeMs >= kMaxQuietMs ||
        std::abs(s.charge - last.charge) >= kChargeBand || (s.inputMv < 0) != (last.inputMv < 0) ||
        std::abs(s.inputMv - last.inputMv) >= kVoltageBandMv ||
        std::abs(s.outputMv - last.outputMv) >= kVoltageBandMv || s.source != last.source ||
        s.battery != last.battery || s.doBits != last.doBits || s.diBits != last.diBits;
    if (!keep || m_samples.size() >= kMaxQueued) return false;
    m_last = s;
    m_haveLast = true;
    m_samples.append(s);
    return true;
}

void historyStore::breakSamples() {
    std::lock_guard<std::mutex> guard(m_lock);
    m_haveLast = false;
}

void historyStore::recordEvent(int kind, const QString& text, qint64 timeMs) {
    std::lock_guard<std::mutex> guard(m_lock);
    if (state() == Unavailable || m_stop || m_events.size() >= kMaxQueued) return;
    m_events.append({timeMs < 0 ? nowMs() : timeMs, kind, text});
}

void historyStore::storeLearnedRate(double percentPerS) {
    std::lock_guard<std::mutex> guard(m_lock);
    if (percentPerS > 0) m_learnedRate = percentPerS;
}

QString historyStore::problem() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_problem;
}

void historyStore::setFlushIntervalMs(int ms) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_flushIntervalMs = qMax(1, ms);
}

void historyStore::setRetentionDays(int days) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_retentionDays = qMax(1, days);
}

void historyStore::requestPurge() {
    std::lock_guard<std::mutex> guard(m_lock);
    m_purge = true;
}

bool historyStore::openFile(const QString& connection) {
    // Folder 0700 and file 0600 before SQLite makes it (it follows the umask;
    // its -wal and -shm files take the database file's mode).
    if (!appPaths::makeFolderFor(m_path) || !appPaths::keepPrivate(m_path)) {
        giveUp(tr("%1 cannot be written").arg(m_path));
        return false;
    }
    QString error;
    bool corrupt = false;
    if (history::open(connection, m_path, false, &error, &corrupt)) return true;
    if (!corrupt) {
        giveUp(m_path + QStringLiteral(": ") + error);
        return false;
    }
    // Kept for a look (or a rescue) by hand, never deleted.
    const QString aside = m_path + QStringLiteral(".damaged-") +
                          QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    bool moved = QFile::rename(m_path, aside);
    for (const char* suffix : {"-wal", "-shm"}) {
        const QString part = m_path + QLatin1String(suffix);
        if (QFile::exists(part))
            moved = QFile::rename(part, aside + QLatin1String(suffix)) && moved;
    }
    if (!moved || !appPaths::keepPrivate(m_path) ||
        !history::open(connection, m_path, false, &error)) {
        giveUp(m_path + QStringLiteral(": ") + error);
        return false;
    }
    consolePrint::instance().printMsg(
        tr("The history file was damaged; it was moved to %1 and a new one started.").arg(aside));
    return true;
}

void historyStore::giveUp(const QString& why) {
    bool changed;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        // Said once per reason: the store tries again every minute.
        changed = why != m_problem;
        m_problem = why;
        m_state.store(Unavailable);
        m_samples.clear();
        m_events.clear();
        m_flushDone = m_flushWanted;
    }
    m_done.notify_all();
    if (changed) consolePrint::instance().printMsg(tr("History unavailable: %1").arg(why));
    emit signalAvailability(false);
}

void historyStore::run() {
    const QString connection =
        QStringLiteral("history-writer-%1").arg(reinterpret_cast<quintptr>(this));
    for (;;) {
        if (openFile(connection)) {
            {
                std::lock_guard<std::mutex> guard(m_lock);
                m_problem.clear();
            }
            m_state.store(Available);
            emit signalAvailability(true);
            readLearnedRate(connection);
            const bool stopped = writeBatches(connection);
            history::close(connection);
            if (stopped) break;
        }
        // Given up on a real failure; a disk freed or a folder mended later
        // brings the history back without a restart.
        std::unique_lock<std::mutex> lock(m_lock);
        if (m_wake.wait_for(lock, std::chrono::milliseconds(kReopenMs),
                            [this]() { return m_stop; }))
            break;
    }
    std::lock_guard<std::mutex> guard(m_lock);
    m_flushDone = m_flushWanted;
    m_done.notify_all();
}

// How many of the last discharges teach the rate when none was kept yet.
static const int kDischargesToLearnFrom = 3;

void historyStore::readLearnedRate(const QString& connection) {
    if (m_learnedRead) return;
    m_learnedRead = true;
    QSqlDatabase db = QSqlDatabase::database(connection, false);
    double rate = 0;
    if (!history::learned(db, history::kLearnedDischargeRate, &rate)) {
        // Once: what the history already shows, kept so it is not derived again.
        rate = history::rateFromPastDischarges(db, kDischargesToLearnFrom);
        if (rate > 0) history::storeLearned(db, history::kLearnedDischargeRate, rate);
    }
    if (rate > 0) emit signalLearnedRate(rate);
}

bool historyStore::writeBatches(const QString& connection) {
    QSqlDatabase db = QSqlDatabase::database(connection, false);
    qint64 nextPurge = 0;
    int busyMs = 0;  // the back-off while another connection holds the file
    std::unique_lock<std::mutex> lock(m_lock);
    for (;;) {
        m_wake.wait_for(lock, std::chrono::milliseconds(busyMs > 0 ? busyMs : m_flushIntervalMs),
                        [this]() { return m_stop || m_flushWanted > m_flushDone; });
        QVector<history::sample> samples;
        QVector<history::event> events;
        samples.swap(m_samples);
        events.swap(m_events);
        const double learnedRate = m_learnedRate;
        m_learnedRate = 0;
        const quint64 wanted = m_flushWanted;
        const qint64 now = nowMs();
        const bool purge = m_purge || now >= nextPurge;
        m_purge = false;
        const qint64 keepFrom = now - m_retentionDays * kDayMs;
        const bool stopping = m_stop;
        lock.unlock();

        bool busy = false;
        if (!samples.isEmpty() || !events.isEmpty()) {
            QString error;
            QElapsedTimer took;
            took.start();
            if (history::insert(db, samples, events, &error, &busy)) {
                m_lastBatchUs.store(took.nsecsElapsed() / 1000);
                if (busyMs > 0)
                    consolePrint::instance().printMsg(tr("History written again: %1").arg(m_path));
                busyMs = 0;
                emit signalWritten();
            } else if (!busy || stopping) {
                giveUp(m_path + QStringLiteral(": ") + error);
                return stopping;
            } else {
                if (busyMs == 0)
                    consolePrint::instance().printMsg(
                        tr("History busy, kept to write later: %1: %2").arg(m_path, error));
                busyMs = qMin(busyMs == 0 ? kBusyRetryMs : busyMs * 2, kReopenMs);
            }
        }
        // Kept for the next batch when the file would not take it now.
        const bool learnedKept =
            learnedRate > 0 &&
            (busy || !history::storeLearned(db, history::kLearnedDischargeRate, learnedRate));
        if (purge && !busy) {
            history::purgeBefore(db, keepFrom);
            nextPurge = now + kPurgeIntervalMs;
        }

        lock.lock();
        if (busy) {
            // Kept in front of what came since, in time order.
            m_samples = samples + m_samples;
            m_events = events + m_events;
            m_purge = m_purge || purge;
        }
        if (learnedKept && m_learnedRate == 0) m_learnedRate = learnedRate;
        // A flush waits for one attempt, not for the other connection.
        m_flushDone = qMax(m_flushDone, wanted);
        m_done.notify_all();
        if (stopping && m_samples.isEmpty() && m_events.isEmpty()) return true;
    }
}
