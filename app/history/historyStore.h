// The history writer: takes samples and events from any thread (calls that
// only queue and return), keeps the samples that matter (the dead band below)
// and writes the queue on its own thread, in one transaction every few
// seconds, through its own connection. It opens the file on that thread too:
// a file that cannot be opened or written leaves one log line and the history
// unavailable (tried again every minute), and the program goes on watching the
// module; a file busy with another connection only delays the batches; a damaged file is
// moved aside with a time stamp and a new one started. Rows older than the
// retention (UPS.conf, default 30 days) are deleted in the background. It also
// keeps the discharge rate the program learned: read (or, the first time,
// derived from the discharges the samples show) when the file opens, and
// stored with the next batch when a discharge taught a new one.
#pragma once

#include <QString>
#include <QThread>
#include <QVector>
#include <atomic>
#include <condition_variable>
#include <mutex>

#include "historyDb.h"

class historyStore : public QThread {
    Q_OBJECT
public:
    enum State { Opening = 0, Available, Unavailable };

    static const int kFlushIntervalMs = 3000;
    // A sample is stored when it differs this much from the last stored one,
    // or when this much time has passed since.
    static const int kChargeBand = 1;
    static const int kVoltageBandMv = 100;
    static const int kMaxQuietMs = 10000;
    // A queue that cannot be written (a stalled disk) never grows without end.
    static const int kMaxQueued = 20000;
    static const int kDefaultRetentionDays = 30;
    // A batch the file is too busy for (another connection writing) is kept
    // and tried again after this, doubled up to kReopenMs; after a real
    // failure the file is opened anew every kReopenMs.
    static constexpr int kBusyRetryMs = 500;
    static constexpr int kReopenMs = 60000;

    // The program's file: history.sqlite in the settings folder.
    static QString defaultPath();

    explicit historyStore(const QString& path, QObject* parent = nullptr);
    ~historyStore() override;

    // Starts the writer thread, which opens the file.
    void open();
    // Writes what is queued and ends the thread; final.
    void stop();
    // Writes what is queued now and waits for it (tests, the export).
    void flush();

    // Whether the sample is kept (the dead band), and queues it when so.
    bool recordSample(const history::sample& s);
    // The next sample is stored whatever it holds (after a gap in polling).
    void breakSamples();
    // An event at the time given, or now (-1).
    void recordEvent(int kind, const QString& text, qint64 timeMs = -1);
    // The learned discharge rate (percent per second), kept with the next batch.
    void storeLearnedRate(double percentPerS);

    State state() const { return static_cast<State>(m_state.load()); }
    QString path() const { return m_path; }
    // Why the history is unavailable (empty while it is not).
    QString problem() const;

    void setFlushIntervalMs(int ms);
    void setRetentionDays(int days);
    // Deletes old rows with the next batch (also done at open and every hour).
    void requestPurge();
    // The time the last batch took to write, in microseconds (the benchmark).
    qint64 lastBatchUs() const { return m_lastBatchUs.load(); }

    static qint64 nowMs();

signals:
    // The file opened (true) or was given up (false).
    void signalAvailability(bool available);
    // A batch reached the file.
    void signalWritten();
    // Once, when the file first opens: the discharge rate learned earlier
    // (percent per second); not sent when none is known.
    void signalLearnedRate(double percentPerS);

protected:
    void run() override;

private:
    bool openFile(const QString& connection);
    // Writes batches until a stop (true) or a real failure (false).
    bool writeBatches(const QString& connection);
    void giveUp(const QString& why);
    void readLearnedRate(const QString& connection);

    const QString m_path;
    std::atomic<int> m_state{Opening};
    std::atomic<qint64> m_lastBatchUs{0};
    mutable std::mutex m_lock;  // guards everything below
    std::condition_variable m_wake;
    std::condition_variable m_done;
    QVector<history::sample> m_samples;
    QVector<history::event> m_events;
    bool m_haveLast = false;
    history::sample m_last{};
    bool m_stop = false;
    bool m_purge = true;
    bool m_learnedRead = false;  // writer thread only
    double m_learnedRate = 0;    // to store; 0 none

    quint64 m_flushWanted = 0;
    quint64 m_flushDone = 0;
    int m_flushIntervalMs = kFlushIntervalMs;
    int m_retentionDays = kDefaultRetentionDays;
    QString m_problem;
};
