#include "monitorThread.h"

#include <chrono>

#include "comAdapter.h"
#include "consolePrint.h"

monitorThread::monitorThread(QObject* parent) : QThread(parent) {
    m_statusBuffer.fill(0);
}

monitorThread::~monitorThread() {
    stopPolling();
}

void monitorThread::startPolling(quint32 pollCycle) {
    m_pollCycle.store(pollCycle);
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_stop.store(false);
    }
    start();
}

void monitorThread::stopPolling() {
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_stop.store(true);
    }
    m_wake.notify_all();
    quit();
    wait();
    // The loop's last step runs under this lock: taking it here orders
    // everything the thread did before whatever the caller does next (deleting
    // the thread included), through a lock the sanitizers can see.
    std::lock_guard<std::mutex> guard(m_lock);
}

monitorThread::statusBlock monitorThread::statusBuffer() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_statusBuffer;
}

bool monitorThread::sleepCycle() {
    std::unique_lock<std::mutex> guard(m_lock);
    const auto cycle = std::chrono::milliseconds(m_pollCycle.load());
    m_wake.wait_for(guard, cycle, [this] { return m_stop.load(); });
    return !m_stop.load();
}

void monitorThread::run() {
    setPriority(QThread::HighestPriority);
    comAdapter& adapter = comAdapter::instance();
    while (!m_stop.load()) {
        if (!sleepCycle()) break;
        statusBlock block = statusBuffer();
        bool wasOpen = false;
        const int result =
            adapter.readStatusIfConnected(kStatusStart, kStatusRegisters, block.data(), &wasOpen);
        if (!wasOpen) continue;
        if (result == 0) {
            {
                std::lock_guard<std::mutex> guard(m_lock);
                m_statusBuffer = block;
            }
            emit signalFinished();
        } else {
            // Not translated: the adapter's own "ERR:" line precedes it.
            emit consolePrint::instance().signalShowMsg(QStringLiteral("Read error: ") +
                                                        QString::number(result));
        }
    }
    std::lock_guard<std::mutex> guard(m_lock);
    m_stop.store(false);
}
