#include "monitorThread.h"

#include <algorithm>

#include "comAdapter.h"
#include "comSettings.h"
#include "consolePrint.h"

monitorThread::monitorThread(QObject* parent) : QThread(parent) {
    m_statusBuffer.fill(0);
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

quint64 monitorThread::requestOpen(const comSettings& settings) {
    request r;
    r.open = true;
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
    return enqueue(r);
}

quint64 monitorThread::requestClose() {
    request r;
    r.open = false;
    r.number = 0;
    r.settings = linkSettings();
    return enqueue(r);
}

void monitorThread::setPollCycle(quint32 pollCycle) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_pollCycle = pollCycle;
}

void monitorThread::requestWrite(quint32 address, quint16 value) {
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_hasWrite = true;
        m_writeAddress = address;
        m_writeValue = value;
    }
    m_wake.notify_all();
}

void monitorThread::setExtraAddresses(const QVector<quint32>& addresses) {
    std::vector<quint32> sorted;
    for (quint32 address : addresses) {
        const bool inBlock = address >= kStatusStart && address < kStatusStart + kStatusRegisters;
        if (!inBlock) sorted.push_back(address);
    }
    std::sort(sorted.begin(), sorted.end());
    sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());

    // Only consecutive registers share a request: a gap could hold a
    // register the module refuses, which would refuse the whole span.
    std::vector<span> spans;
    std::vector<extraValue> values;
    for (quint32 address : sorted) {
        values.push_back({address, 0, false});
        if (address < kStatusStart || address > 65535) continue;  // never asked: stays empty
        if (!spans.empty() && spans.back().start + spans.back().count == address &&
            spans.back().count < kMaxSpan)
            ++spans.back().count;
        else
            spans.push_back({address, 1});
    }
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_spans = spans;
        m_spanResults.assign(spans.size(), 0);
        m_extraValues = values;
        m_nextExtras = clock::now();
    }
    m_wake.notify_all();
}

void monitorThread::setExtraReading(bool on) {
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_extraOn = on;
    }
    m_wake.notify_all();
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
    m_state.store(state);
    emit signalStateChanged(state, number);
}

void monitorThread::handle(const request& r) {
    comAdapter& adapter = comAdapter::instance();
    const State now = state();
    if (r.open) {
        if (now == Connected) {
            setState(Connected, r.number);
            return;
        }
        setState(Connecting, r.number);
        comSettings settings;
        settings.portNumber = r.settings.portNumber;
        settings.slaveId = r.settings.slaveId;
        settings.baudRate = r.settings.baudRate;
        settings.comMode = r.settings.comMode;
        settings.dataLen = r.settings.dataLen;
        settings.stopBits = r.settings.stopBits;
        settings.parity = r.settings.parity;
        settings.responseTimeout = r.settings.responseTimeout;
        settings.numOfRetries = r.settings.numOfRetries;
        // A failed open is reported by the adapter.
        if (adapter.slotOpenDevice(&settings) != 0) {
            setState(Disconnected, r.number);
            return;
        }
        emit signalOpened(adapter.deviceInfo().deviceType);
        {
            std::lock_guard<std::mutex> guard(m_lock);
            m_nextPoll = clock::now();
            m_nextExtras = clock::now();
            std::fill(m_spanResults.begin(), m_spanResults.end(), 0);
        }
        setState(Connected, r.number);
        return;
    }
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_hasWrite = false;
    }
    if (now == Connected) {
        setState(Disconnecting, r.number);
        adapter.slotCloseDevice();
    }
    setState(Disconnected, r.number);
}

void monitorThread::pollOnce() {
    statusBlock block = statusBuffer();
    const int result =
        comAdapter::instance().slotReadStatus(kStatusStart, kStatusRegisters, block.data());
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

void monitorThread::readExtras(const std::vector<span>& spans) {
    comAdapter& adapter = comAdapter::instance();
    bool changed = false;
    for (size_t i = 0; i < spans.size(); ++i) {
        {
            // A request (a close) or a write does not wait for the whole round.
            std::lock_guard<std::mutex> guard(m_lock);
            if (m_stop || !m_requests.empty() || m_hasWrite) break;
        }
        ushort words[kMaxSpan] = {};
        const span s = spans[i];
        const int result = adapter.readRegistersQuiet(static_cast<ushort>(s.start),
                                                      static_cast<uchar>(s.count), words);
        bool report = false;
        {
            std::lock_guard<std::mutex> guard(m_lock);
            // The table may have changed meanwhile: only the same span counts.
            if (i >= m_spans.size() || m_spans[i].start != s.start || m_spans[i].count != s.count)
                break;
            report = result != 0 && m_spanResults[i] != result;
            m_spanResults[i] = result;
            for (extraValue& v : m_extraValues) {
                if (v.address < s.start || v.address >= s.start + quint32(s.count)) continue;
                v.ok = result == 0;
                v.value = result == 0 ? words[v.address - s.start] : 0;
            }
        }
        changed = true;
        if (report) {
            consolePrint::instance().printMsg(
                tr("ERR:%1: Registers %2 to %3 could not be read; they are shown empty")
                    .arg(result)
                    .arg(s.start)
                    .arg(s.start + s.count - 1));
        }
    }
    if (changed) emit signalExtraValuesReady();
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
        if (state() != Connected) {
            // Nothing to watch and nothing asked: the thread ends until the
            // next request starts it again.
            m_active = false;
            return;
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
        const bool extras = m_extraOn && !m_spans.empty();
        if (extras && now >= m_nextExtras) {
            const std::vector<span> spans = m_spans;
            lock.unlock();
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
        comAdapter::instance().slotCloseDevice();
        setState(Disconnected, number);
    }
    lock.lock();
    m_active = false;
}
