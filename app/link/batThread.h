// Runs the user's post-process script once: the file stored as "batPath",
// with a time limit. The script gets its own process group, so that ending it
// ends whatever it started, and its output goes to the null device. Its start,
// its end with the exit status, the time limit ending it and a missing file
// each leave one line in the message log.
#pragma once

#include <QString>
#include <QThread>
#include <atomic>
#include <condition_variable>
#include <mutex>

class batThread : public QThread {
    Q_OBJECT
public:
    static const int kTimeLimitMs = 30000;

    explicit batThread(QObject* parent = nullptr);
    ~batThread() override;

    // Ends a running script with everything it started and waits for the
    // thread; for quitting and restarting. Returns at once when idle.
    void stopScript();

    // Test hook: a shorter limit than the 30 s a script gets in service.
    void setTimeLimitMs(int ms) { m_timeLimitMs = ms; }

    // How many script processes this thread has started.
    int scriptsStarted() const { return m_started.load(); }

signals:
    // The script's start and its end (or why it did not run), each with the
    // line the log shows; sent from the script thread.
    void signalScriptStarted(const QString& message);
    void signalScriptEnded(const QString& message);

protected:
    void run() override;

private:
    static QString storedBatPath();
    // Starts the script; the process id (also its group id) or -1.
    static long spawnScript(const QString& path);
    enum WaitOutcome { kEnded, kTimeLimit, kStopped };
    // Waits for the script until it ends, the limit passes or a stop comes;
    // *status is the wait status when it ended by itself (-1 if unknown).
    WaitOutcome waitForScript(long pid, int* status);

    std::atomic<int> m_timeLimitMs{kTimeLimitMs};
    std::atomic<int> m_started{0};
    std::mutex m_lock;
    std::condition_variable m_wake;
    bool m_stop = false;
};
