// The simulator on a pseudo terminal for the app tests, reached as port 201
// through QXUPS_COM201, and a thread-safe record of what the console sent.
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <QObject>
#include <QString>
#include <QStringList>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "consolePrint.h"
#include "sim_process.h"

namespace apptest {

const quint16 kSimPort = 201;

class SimulatedModule {
public:
    // Serves device type 301, hardware 1, firmware 2 on the link "<dir>/line";
    // extraArgs go to the simulator as well (e.g. --registers FILE).
    bool start(const QString& dir, const std::vector<std::string>& extraArgs = {}) {
        m_link = (dir + QStringLiteral("/line")).toStdString();
        setenv("QXUPS_COM201", m_link.c_str(), 1);
        std::vector<std::string> args = {
            "--pty", m_link, "--quit-on-eof", "--device-type", "301", "--hw", "1", "--fw", "2"};
        args.insert(args.end(), extraArgs.begin(), extraArgs.end());
        m_sim.reset(new simtest::SimProcess(args));
        return m_sim->started() && !m_sim->waitReady().empty();
    }
    ~SimulatedModule() {
        if (m_sim) m_sim->terminate();
    }
    QString command(const char* cmd) {
        return m_sim ? QString::fromStdString(m_sim->command(cmd)) : QStringLiteral("<killed>");
    }
    bool running() const { return m_sim != nullptr; }
    // Kills the simulator, as an unplugged adapter: its pty goes away and so
    // does the link to it (a dangling link could name the next pty the
    // kernel hands out, another test's); a later start() makes a new one on
    // the same link.
    void kill() {
        m_sim.reset();
        if (!m_link.empty()) ::unlink(m_link.c_str());
    }

private:
    std::string m_link;
    std::unique_ptr<simtest::SimProcess> m_sim;
};

// Records the console's messages and version texts as they are emitted, on
// whatever thread emits them.
class ConsoleRecord {
public:
    ConsoleRecord() {
        consolePrint& c = consolePrint::instance();
        add(c, &consolePrint::signalShowMsg, QString());
        add(c, &consolePrint::signalShowHwVer, QStringLiteral("HW:"));
        add(c, &consolePrint::signalShowFwVer, QStringLiteral("FW:"));
        add(c, &consolePrint::signalShowDrvVer, QStringLiteral("DRV:"));
    }
    ~ConsoleRecord() {
        for (const QMetaObject::Connection& c : m_connections)
            QObject::disconnect(c);
    }
    QStringList lines() const {
        std::lock_guard<std::mutex> guard(m_lock);
        QStringList lines;
        for (const std::string& line : m_lines)
            lines << QString::fromStdString(line);
        return lines;
    }
    void clear() {
        std::lock_guard<std::mutex> guard(m_lock);
        m_lines.clear();
    }

private:
    void add(consolePrint& console, void (consolePrint::*signal)(QString), const QString& prefix) {
        m_connections.push_back(QObject::connect(
            &console, signal, &console,
            [this, prefix](const QString& msg) {
                std::lock_guard<std::mutex> guard(m_lock);
                m_lines.push_back((prefix + msg).toStdString());
            },
            Qt::DirectConnection));
    }

    mutable std::mutex m_lock;
    // Plain strings: Qt's implicitly shared lists, copied across threads,
    // detach inside the uninstrumented Qt library and would give TSan false reports.
    std::vector<std::string> m_lines;
    std::vector<QMetaObject::Connection> m_connections;
};

}  // namespace apptest
