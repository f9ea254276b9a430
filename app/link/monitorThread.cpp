// The device worker: its requests, its loop and the serial line's reads.
#include "monitorThread.h"

#include <time.h>

#include <QDateTime>
#include <algorithm>

#include "comAdapter.h"
#include "comSettings.h"
#include "consolePrint.h"
#include "nutClient.h"
#include "sleptClock.h"

monitorThread::monitorThread(QObject* parent) : QThread(parent) {
    m_statusBuffer.fill(0);
    m_signalled.fill(0);
}

monitorThread::~monitorThread() {
    stop();
}

quint64 monitorThread::enqueue(const request& r) {
    quint64 number;
    bool startNeeded;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (m_stop) return 0;
        number = ++m_lastNumber;
        m_requests.push_back(r);
        m_requests.back().number = number;
        startNeeded = !m_active;
        m_active = true;
    }
    m_wake.notify_all();
    if (startNeeded) {
        // A thread that found nothing more to do has left its loop already;
        // it only has to return.
        wait();
        start();
    }
    return number;
}

quint64 monitorThread::requestOpen(const comSettings& settings, bool keepTrying) {
    request r;
    r.open = true;
    r.keepTrying = keepTrying;
    r.number = 0;
    r.settings.portNumber = settings.portNumber;
    r.settings.slaveId = settings.slaveId;
    r.settings.baudRate = settings.baudRate;
    r.settings.comMode = settings.comMode;
    r.settings.dataLen = settings.dataLen;
    r.settings.stopBits = settings.stopBits;
    r.settings.parity = settings.parity;
    r.settings.responseTimeout = settings.responseTimeout;
    r.settings.numOfRetries = settings.numOfRetries;
    r.settings.nut = settings.isNut();
    r.settings.nutHost = settings.nutHost.toStdString();
    r.settings.nutPort = settings.nutPort;
    r.settings.nutUps = settings.nutUps.toStdString();
    r.settings.nutUser = settings.nutUser.toStdString();
    r.settings.nutPassword = settings.nutPassword.toStdString();
    return enqueue(r);
}

quint64 monitorThread::requestClose() {
    request r;
    r.open = false;
    r.keepTrying = false;
    r.number = 0;
    r.settings = linkSettings();
    return enqueue(r);
}

void monitorThread::setPollCycle(quint32 pollCycle) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_pollCycle = pollCycle;
}

bool monitorThread::requestWrite(quint32 address, quint16 value) {
    bool accepted;
    {
        // The state changes under this lock too (setState): a write accepted
        // here is dropped there if the link leaves Connected before it is sent.
        std::lock_guard<std::mutex> guard(m_lock);
        accepted = state() == Connected;
        if (accepted) {
            m_hasWrite = true;
            m_writeAddress = address;
            m_writeValue = value;
        }
    }
    if (!accepted) {
        consolePrint::instance().printMsg(
            tr("Register %1 not written: the module is not connected").arg(address));
        return false;
    }
    m_wake.notify_all();
    return true;
}

void monitorThread::setTimings(int lostAfterMinMs, int backoffFirstMs, int backoffCapMs,
                               int summaryMs) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_timings.lostAfterMinMs = lostAfterMinMs;
    m_timings.backoffFirstMs = backoffFirstMs;
    m_timings.backoffCapMs = backoffCapMs;
    m_timings.summaryMs = summaryMs;
}

void monitorThread::setSleepClock(sleepClock clock) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_sleepClock = clock;
}

qint64 monitorThread::systemSleptMs() {
    return qxwatch::systemSleptMs();
}

qint64 monitorThread::steadyMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(clock::now().time_since_epoch())
        .count();
}

qint64 monitorThread::nextAttemptInMs() const {
    if (m_attemptRunning.load()) return 0;
    return qMax<qint64>(0, m_nextAttemptSteadyMs.load() - steadyMs());
}

void monitorThread::stop() {
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_stop = true;
    }
    m_wake.notify_all();
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

std::vector<monitorThread::extraValue> monitorThread::extraValues() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_extraValues;
}

void monitorThread::setState(State state, quint64 number) {
    bool dropped = false;
    quint32 address = 0;
    quint16 value = 0;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_state.store(state);
        if (state != Connected && m_hasWrite) {
            dropped = true;
            address = m_writeAddress;
            value = m_writeValue;
            m_hasWrite = false;
        }
        if (state != Connected && m_hasNutWrite) {
            m_hasNutWrite = false;
            consolePrint::instance().printMsg(
                tr("%1 = %2 not written: the line was lost").arg(m_nutWriteName, m_nutWriteValue));
        }
    }
    if (dropped) {
        consolePrint::instance().printMsg(
            tr("Register %1 = %2 not written: the line was lost").arg(address).arg(value));
    }
    emit signalStateChanged(state, number);
}

int monitorThread::openDevice(const linkSettings& link, bool report) {
    if (link.nut) {
        const int result = openNut(report);
        if (result != 0) return result;
        const qxwatch::StatusView view = statusView();
        emit signalOpened(view.hasDeviceType ? view.deviceType : 0);
    } else {
        const int result = openSerial(link, report);
        if (result != 0) return result;
        emit signalOpened(comAdapter::instance().deviceInfo().deviceType);
    }
    qint64 slept;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_nextPoll = clock::now();
        m_nextExtras = clock::now();
        std::fill(m_spanResults.begin(), m_spanResults.end(), 0);
        slept = m_sleepClock();
        m_line.timings = m_timings;
    }
    m_line.opened(steadyMs(), slept);
    m_signalNext = true;
    m_attempt.store(0);
    return 0;
}

int monitorThread::openSerial(const linkSettings& link, bool report) {
    comSettings settings;
    settings.portNumber = link.portNumber;
    settings.slaveId = link.slaveId;
    settings.baudRate = link.baudRate;
    settings.comMode = link.comMode;
    settings.dataLen = link.dataLen;
    settings.stopBits = link.stopBits;
    settings.parity = link.parity;
    settings.responseTimeout = link.responseTimeout;
    settings.numOfRetries = link.numOfRetries;
    return comAdapter::instance().slotOpenDevice(&settings, report);
}

void monitorThread::handle(const request& r) {
    m_handledNumber = r.number;
    comAdapter& adapter = comAdapter::instance();
    const State now = state();
    if (r.open) {
        if (now == Connected) {
            setState(Connected, r.number);
            return;
        }
        if (now == Reconnecting) {
            // Already trying: the next attempt is made at once.
            m_line.attemptNow(steadyMs());
            takeSchedule();
            setState(Reconnecting, r.number);
            return;
        }
        setState(Connecting, r.number);
        {
            // requestNutWrite() reads the kind of link from other threads.
            std::lock_guard<std::mutex> guard(m_lock);
            m_link = r.settings;
        }
        // A failed open is reported by the adapter (or the upsd client).
        const int result = openDevice(r.settings, true);
        if (result != 0) {
            if (isPermanent(result)) {
                giveUp(result, r.number);
            } else if (r.keepTrying) {
                m_lastGoodWallMs.store(0);
                {
                    std::lock_guard<std::mutex> guard(m_lock);
                    m_line.timings = m_timings;
                }
                m_line.closed();
                logLine(m_line.openFailed(result, steadyMs()));
                takeSchedule();
                setState(Reconnecting, r.number);
            } else {
                setState(Disconnected, r.number);
            }
            return;
        }
        m_lastGoodWallMs.store(QDateTime::currentMSecsSinceEpoch());
        setState(Connected, r.number);
        return;
    }
    if (now == Connected) {
        setState(Disconnecting, r.number);
        if (m_link.nut)
            closeNut();
        else
            adapter.slotCloseDevice();
    } else if (now == Reconnecting) {
        // The device was closed when the line was lost.
        setState(Disconnecting, r.number);
    }
    m_line.closed();
    m_attempt.store(0);
    setState(Disconnected, r.number);
}

void monitorThread::takeSchedule() {
    const qint64 at = m_line.nextAttemptAtMs;
    m_nextAttempt = clock::time_point(std::chrono::milliseconds(at));
    m_nextAttemptSteadyMs.store(at);
    m_attempt.store(m_line.attempt);
}

void monitorThread::loseLine(int result, quint64 number) {
    if (m_link.nut) {
        consolePrint::instance().printMsg(
            tr("Communication with the UPS lost (%1)").arg(nutText(result)));
        closeNut();
    } else {
        consolePrint::instance().printMsg(tr("Communication with the module lost (error %1: %2)")
                                              .arg(result)
                                              .arg(comAdapter::resultText(result)));
        // A device path that went away (an adapter unplugged, a new pty on
        // the same link) is only found again by opening it anew.
        comAdapter::instance().slotCloseDevice(false);
    }
    // A write not sent yet is dropped as the state leaves Connected.
    takeSchedule();
    setState(Reconnecting, number);
}

void monitorThread::attemptReopen() {
    m_attemptRunning.store(true);
    setState(Reconnecting, m_handledNumber);
    const int result = openDevice(m_link, false);
    m_attemptRunning.store(false);
    if (result == 0) {
        setState(Connected, m_handledNumber);
        return;
    }
    if (isPermanent(result)) {
        giveUp(result, m_handledNumber);
        return;
    }
    logLine(m_line.openFailed(result, steadyMs()));
    takeSchedule();
    setState(Reconnecting, m_handledNumber);
}

void monitorThread::pollOnce() {
    statusBlock block = statusBuffer();
    sleepClock sleptClock;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        // The poll cycle may have changed since the open.
        m_line.lostAfter = qxwatch::lostAfterMs(
            m_line.timings, m_link.nut ? quint32(kNutTimeoutMs) : m_link.responseTimeout,
            m_pollCycle);
        sleptClock = m_sleepClock;
    }
    if (m_link.nut) {
        pollNut(sleptClock());
        return;
    }
    // Read before the line: a system that slept since the last read may have
    // lost it (an adapter that lost power, a module that restarted).
    const qint64 slept = sleptClock();
    const int result =
        comAdapter::instance().readRegistersQuiet(kStatusStart, kStatusRegisters, block.data());
    const qint64 now = steadyMs();
    const qxwatch::LineDecision d = m_line.readDone(result, now, slept);
    if (result == 0) m_lastGoodWallMs.store(QDateTime::currentMSecsSinceEpoch());
    logLine(d);
    if (result == 0) {
        {
            std::lock_guard<std::mutex> guard(m_lock);
            m_statusBuffer = block;
            m_view = qxwatch::decodeStatus(block.data());
            m_viewFromBlock = true;
        }
        // Most blocks repeat the last one: the GUI thread hears of a change
        // at once, and of an unchanged block only now and then.
        if (m_signalNext || block != m_signalled || now - m_signalledAtMs >= kUnchangedBlockMs) {
            m_signalNext = false;
            m_signalled = block;
            m_signalledAtMs = now;
            emit signalFinished();
        }
        return;
    }
    if (d.lost) loseLine(result, m_handledNumber);
}

void monitorThread::run() {
    std::unique_lock<std::mutex> lock(m_lock);
    for (;;) {
        if (m_stop) break;
        if (!m_requests.empty()) {
            const request r = m_requests.front();
            m_requests.pop_front();
            lock.unlock();
            handle(r);
            lock.lock();
            continue;
        }
        if (state() == Reconnecting) {
            if (clock::now() >= m_nextAttempt) {
                lock.unlock();
                attemptReopen();
                lock.lock();
                continue;
            }
            m_wake.wait_until(lock, m_nextAttempt);
            continue;
        }
        if (state() != Connected) {
            // Nothing to watch and nothing asked: the thread ends until the
            // next request starts it again.
            m_active = false;
            return;
        }
        if (m_hasNutWrite) {
            const QString name = m_nutWriteName;
            const QString value = m_nutWriteValue;
            m_hasNutWrite = false;
            lock.unlock();
            writeNut(name, value);
            lock.lock();
            continue;
        }
        if (m_hasWrite) {
            const quint32 address = m_writeAddress;
            const quint16 value = m_writeValue;
            m_hasWrite = false;
            lock.unlock();
            // The adapter logs the outcome; the next block shows it.
            const int result = comAdapter::instance().slotWriteRegister(address, value);
            emit signalWritten(address, value, result);
            lock.lock();
            continue;
        }
        const clock::time_point now = clock::now();
        if (now >= m_nextPoll) {
            lock.unlock();
            pollOnce();
            lock.lock();
            m_nextPoll = clock::now() + std::chrono::milliseconds(m_pollCycle);
            continue;
        }
        const bool extras = m_extraOn && (m_link.nut || !m_spans.empty());
        if (extras && now >= m_nextExtras) {
            const std::vector<span> spans = m_spans;
            lock.unlock();
            if (m_link.nut)
                readNutVariables();
            else
                readExtras(spans);
            lock.lock();
            m_nextExtras = clock::now() + std::chrono::milliseconds(kExtraIntervalMs);
            continue;
        }
        m_wake.wait_until(lock, extras ? std::min(m_nextPoll, m_nextExtras) : m_nextPoll);
    }

    // Stopped: the device is closed before the thread ends, so that the port
    // is free when stop() returns.
    const quint64 number = m_lastNumber;
    lock.unlock();
    if (state() == Connected) {
        setState(Disconnecting, number);
        if (m_link.nut)
            closeNut();
        else
            comAdapter::instance().slotCloseDevice();
        setState(Disconnected, number);
    } else if (state() == Reconnecting) {
        setState(Disconnected, number);
    }
    lock.lock();
    m_active = false;
}
