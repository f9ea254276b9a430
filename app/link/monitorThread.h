// Polls the module's status block (registers 40000..40049) on the poll cycle
// through the device adapter and tells the status page when a fresh block is
// ready.
#pragma once

#include <QThread>
#include <array>
#include <atomic>
#include <condition_variable>
#include <mutex>

class monitorThread : public QThread {
    Q_OBJECT
public:
    static const int kStatusRegisters = 50;
    static const ushort kStatusStart = 40000;
    typedef std::array<quint16, kStatusRegisters> statusBlock;

    explicit monitorThread(QObject* parent = nullptr);
    ~monitorThread() override;

    // Starts polling with the given cycle; on a running thread only the cycle
    // changes (from the next sleep on).
    void startPolling(quint32 pollCycle);
    // Ends polling and waits for the thread: it returns after the read under
    // way, if any, never after a whole sleep.
    void stopPolling();

    // The block of the last successful read. It is copied under the lock that
    // the polling thread takes to store a new block, so a reader never sees a
    // block half written.
    statusBlock statusBuffer() const;

signals:
    void signalFinished();

protected:
    void run() override;

private:
    // Sleeps one poll cycle unless polling is stopped; false when stopped.
    bool sleepCycle();

    mutable std::mutex m_lock;
    std::condition_variable m_wake;
    statusBlock m_statusBuffer;
    std::atomic<bool> m_stop{false};
    std::atomic<quint32> m_pollCycle{10};
};
