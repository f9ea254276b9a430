// The device worker's reads of the registers outside the status block, for
// the Config page while it is in front.
#include <algorithm>

#include "comAdapter.h"
#include "consolePrint.h"
#include "monitorThread.h"

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
