// The device worker: the one thread that talks to the module. It opens the
// device (with its identification read), polls the status block (registers
// 40000..40049) on the poll cycle, reads the extra registers of the loaded
// register table while the Config page is in front, sends register writes
// between two reads and closes the device. The GUI thread only hands it
// requests, which return at once, and hears the outcomes through queued
// signals; it never waits on the line, except in stop() at the end of the
// program.
//
// The thread runs from the first request after being idle until the device
// is closed and no request is left; requests are handled in the order given,
// so a Connect made while a close is under way waits for it.
//
// The line's rules are the shared qxwatch::LineWatch's: a line is lost when no
// good answer has come for max(5 s, 2 x the response time-out + the poll
// cycle), or at the first failing read after the system slept. The worker
// then closes the device and, as long as nobody asks for a close, reopens it
// with a back-off of 1 s doubling up to 30 s (state Reconnecting); the
// back-off starts anew after a success. An open asked with keepTrying that
// fails retries the same way. Failing reads and attempts are logged by one
// function, which words the watch's decisions: the first failure, then at
// most one summary a minute, and one line when answers are back.
//
// With a link of the Network UPS Tools kind the worker is a client of upsd
// instead: an open connects and asks LIST VAR once, every poll asks it again
// and maps the answer onto the same status view (watch/nutView.h), so that
// everything downstream runs the same rules. A refused or closed connection,
// stale data, a driver gone and a time-out are failing reads of the line
// watch; an unknown UPS or a refused access is said once and ends in
// Disconnected. The Config page's writable variables (LIST RW with their
// types) are read while extra reading is on, and a variable is written on a
// connection of its own after USERNAME/PASSWORD, so that a refused login
// sends nothing.
#pragma once

#include <QPair>
#include <QString>
#include <QStringList>
#include <QThread>
#include <QVector>
#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "lineWatch.h"
#include "statusBlock.h"

namespace nutclient {
class Connection;
}

class comSettings;

class monitorThread : public QThread {
    Q_OBJECT
public:
    // Owned by the worker thread; others see it through state() and
    // signalStateChanged.
    enum State { Disconnected = 0, Connecting, Connected, Disconnecting, Reconnecting };

    static constexpr int kStatusRegisters = 50;
    static constexpr ushort kStatusStart = 40000;
    // A read request carries at most 125 registers.
    static constexpr int kMaxSpan = 125;
    static constexpr int kExtraIntervalMs = 1000;
    // An unchanged block is handed on at most this often.
    static constexpr int kUnchangedBlockMs = 1000;
    typedef std::array<quint16, kStatusRegisters> statusBlock;

    // One register outside the status block: its last value, or ok false
    // while the module refuses it (or has not been asked yet).
    struct extraValue {
        quint32 address;
        quint16 value;
        bool ok;
    };

    // A writable variable of a UPS watched through Network UPS Tools, with
    // what upsd says of its values.
    struct nutVariable {
        QString name;
        QString value;
        bool isEnum = false;
        bool isRange = false;
        bool isString = false;
        int maxLength = 0;
        QStringList choices;                // LIST ENUM
        QVector<QPair<long, long>> ranges;  // LIST RANGE
    };
    // How long upsd may take to answer one request.
    static constexpr int kNutTimeoutMs = 3000;

    explicit monitorThread(QObject* parent = nullptr);
    ~monitorThread() override;

    // Requests; each returns at once with its number, which the state
    // signals of its handling carry. The settings are copied.
    // keepTrying: a failed open is retried with the back-off (the automatic
    // connect at start: the port may not be there yet).
    quint64 requestOpen(const comSettings& settings, bool keepTrying = false);
    quint64 requestClose();
    // Takes effect from the next sleep on.
    void setPollCycle(quint32 pollCycle);
    // Sent before the next read; a later write replaces one not sent yet.
    // Accepted only while Connected: one asked before, or queued when the
    // link leaves Connected, would otherwise reach whatever module is on the
    // port at the next connection. A refused or dropped write is logged;
    // false when refused.
    bool requestWrite(quint32 address, quint16 value);
    // The same for a variable of a UPS watched through Network UPS Tools,
    // written with the user and password of the settings; the outcome comes
    // as signalNutWritten.
    bool requestNutWrite(const QString& name, const QString& value);
    // The register table's addresses; those outside the status block are
    // read in spans of consecutive registers, at most once a second, while
    // extra reading is on (the Config page in front).
    void setExtraAddresses(const QVector<quint32>& addresses);
    void setExtraReading(bool on);

    // Test seams: the shortest time without an answer that makes a line
    // lost, the back-off's first step and cap, the interval of the summary
    // lines; and the clock of the time the system slept (ms), by default
    // CLOCK_BOOTTIME - CLOCK_MONOTONIC. Set before the first request.
    void setTimings(int lostAfterMinMs, int backoffFirstMs, int backoffCapMs, int summaryMs);
    typedef qint64 (*sleepClock)();
    void setSleepClock(sleepClock clock);
    static qint64 systemSleptMs();

    // While Reconnecting: the number of the attempt under way or next, the
    // time left until it (0 while it runs), and since when (ms since the
    // epoch) the module has not answered.
    int reconnectAttempt() const { return m_attempt.load(); }
    qint64 nextAttemptInMs() const;
    qint64 silentSinceMs() const { return m_lastGoodWallMs.load(); }
    // Final: ends after the request under way, closes an open device and
    // joins the thread, so that the port is free when it returns. Later
    // requests are ignored.
    void stop();

    State state() const { return static_cast<State>(m_state.load()); }
    // Copies taken under the worker's lock, which it never holds on the line.
    statusBlock statusBuffer() const;
    std::vector<extraValue> extraValues() const;
    // The decoded view of the last good read, from either kind of link, and
    // whether a status block lies behind it (statusBuffer()).
    qxwatch::StatusView statusView() const;
    bool viewFromBlock() const;
    std::vector<nutVariable> nutVariables() const;

signals:
    // Each state the worker enters, with the number of the request it is
    // handling; a request that changes nothing still reports the state.
    void signalStateChanged(int state, quint64 request);
    // After a successful open, before the state becomes Connected.
    void signalOpened(quint16 deviceType);
    // A status block is in statusBuffer(): the first after each open, one
    // that differs from the block last signalled, and an unchanged one once
    // every kUnchangedBlockMs (for whoever keeps time by the blocks, e.g. the
    // history's quiet samples). Every read still updates statusBuffer().
    void signalFinished();
    // New values are in extraValues().
    void signalExtraValuesReady();
    // A register write was sent: its address, value and the adapter's result (0 done).
    void signalWritten(quint32 address, quint16 value, int result);
    // New values are in nutVariables().
    void signalNutVariablesReady();
    // A variable write through upsd: problem is empty when upsd took it.
    void signalNutWritten(const QString& name, const QString& value, const QString& problem);

protected:
    void run() override;

private:
    typedef std::chrono::steady_clock clock;
    struct linkSettings {
        quint16 portNumber;
        quint16 slaveId;
        quint32 baudRate;
        quint8 comMode;
        quint8 dataLen;
        quint8 stopBits;
        quint8 parity;
        quint32 responseTimeout;
        quint32 numOfRetries;
        bool nut;
        std::string nutHost;
        quint16 nutPort;
        std::string nutUps;
        std::string nutUser;
        std::string nutPassword;
    };
    struct request {
        bool open;
        bool keepTrying;
        quint64 number;
        linkSettings settings;
    };
    struct span {
        quint32 start;
        int count;
    };

    quint64 enqueue(const request& r);
    // Leaving Connected drops the write not sent yet, with one log line.
    void setState(State state, quint64 number);
    void handle(const request& r);
    void pollOnce();
    void readExtras(const std::vector<span>& spans);
    int openDevice(const linkSettings& settings, bool report);
    int openSerial(const linkSettings& settings, bool report);
    // The Network UPS Tools side (monitorThreadNut.cpp). Results are the
    // library's codes for a serial line and nutCode(error) for upsd.
    static int nutCode(int error);
    static bool isNutCode(int result);
    static bool isPermanent(int result);
    QString nutText(int result) const;  // "upsd on server1: data stale"
    int openNut(bool report);
    int readNut(qxwatch::StatusView* view);
    void closeNut();
    void pollNut(qint64 slept);
    void readNutVariables();
    void writeNut(const QString& name, const QString& value);
    // A permanent refusal: said once, no reconnecting.
    void giveUp(int result, quint64 number);
    void loseLine(int result, quint64 number);
    void attemptReopen();
    // The line watch's next attempt, for run() and nextAttemptInMs().
    void takeSchedule();
    // The one place that words the line watch's log decisions (see above).
    void logLine(const qxwatch::LineDecision& d);
    static qint64 steadyMs();
    static QString duration(qint64 ms);

    mutable std::mutex m_lock;  // guards everything below but m_state
    std::condition_variable m_wake;
    std::atomic<int> m_state{Disconnected};
    std::deque<request> m_requests;
    quint64 m_lastNumber = 0;
    bool m_active = false;  // the thread runs or is about to
    bool m_stop = false;
    quint32 m_pollCycle = 10;
    clock::time_point m_nextPoll;
    clock::time_point m_nextExtras;
    bool m_hasWrite = false;
    quint32 m_writeAddress = 0;
    quint16 m_writeValue = 0;
    bool m_extraOn = false;
    std::vector<span> m_spans;
    std::vector<int> m_spanResults;  // last result per span: one log line per change
    std::vector<extraValue> m_extraValues;
    statusBlock m_statusBuffer;
    qxwatch::StatusView m_view{};
    bool m_viewFromBlock = true;
    bool m_hasNutWrite = false;
    QString m_nutWriteName;
    QString m_nutWriteValue;
    std::vector<nutVariable> m_nutVariables;

    // The line's watch; worker thread only, but for the atomics.
    linkSettings m_link{};           // of the last open asked for
    quint64 m_handledNumber = 0;     // the request last handled: the worker's own reports carry it
    qxwatch::LineTimings m_timings;  // set under m_lock, taken at each open
    sleepClock m_sleepClock = &monitorThread::systemSleptMs;
    qxwatch::LineWatch m_line;
    std::unique_ptr<nutclient::Connection> m_nut;  // worker thread only
    qxwatch::StatusView m_nutSignalled{};          // the view last signalled (upsd)
    bool m_nutTypesRead = false;                   // the RW variables' types since the open
    statusBlock m_signalled;                       // the block last signalled
    bool m_signalNext = true;                      // the next good read is signalled (set at open)
    qint64 m_signalledAtMs = 0;
    clock::time_point m_nextAttempt;
    std::atomic<int> m_attempt{0};
    std::atomic<bool> m_attemptRunning{false};
    std::atomic<qint64> m_nextAttemptSteadyMs{0};
    std::atomic<qint64> m_lastGoodWallMs{0};
};
