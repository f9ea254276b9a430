// The device worker as a client of upsd: the open, the poll that maps LIST VAR
// onto the status view, the Config page's writable variables and their writes.
#include <QDateTime>

#include "consolePrint.h"
#include "monitorThread.h"
#include "nutClient.h"
#include "nutView.h"

namespace {

// upsd's errors as result codes of their own, below every library code.
const int kNutCodeBase = -1000;

nutclient::Error errorOf(int result) {
    return static_cast<nutclient::Error>(kNutCodeBase - result);
}

}  // namespace

bool monitorThread::requestNutWrite(const QString& name, const QString& value) {
    bool accepted;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        accepted = state() == Connected && m_link.nut;
        if (accepted) {
            m_hasNutWrite = true;
            m_nutWriteName = name;
            m_nutWriteValue = value;
        }
    }
    if (!accepted) {
        consolePrint::instance().printMsg(tr("%1 not written: the UPS is not connected").arg(name));
        return false;
    }
    m_wake.notify_all();
    return true;
}

qxwatch::StatusView monitorThread::statusView() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_view;
}

bool monitorThread::viewFromBlock() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_viewFromBlock;
}

std::vector<monitorThread::nutVariable> monitorThread::nutVariables() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_nutVariables;
}

int monitorThread::nutCode(int error) {
    return kNutCodeBase - error;
}

bool monitorThread::isNutCode(int result) {
    return result <= kNutCodeBase - int(nutclient::Error::Refused) &&
           result >= kNutCodeBase - int(nutclient::Error::Server);
}

bool monitorThread::isPermanent(int result) {
    return isNutCode(result) && nutclient::isPermanent(errorOf(result));
}

QString monitorThread::nutText(int result) const {
    QString text = QString::fromUtf8(nutclient::errorText(errorOf(result)));
    if (errorOf(result) == nutclient::Error::Server && m_nut && !m_nut->lastError().empty())
        text += QStringLiteral(" (%1)").arg(QString::fromStdString(m_nut->lastError()));
    return tr("upsd on %1: %2").arg(QString::fromStdString(m_link.nutHost), text);
}

void monitorThread::giveUp(int result, quint64 number) {
    consolePrint::instance().printMsg(
        tr("%1; UPS \"%2\" is not watched until Connect is pressed again")
            .arg(nutText(result), QString::fromStdString(m_link.nutUps)));
    closeNut();
    m_line.closed();
    m_attempt.store(0);
    setState(Disconnected, number);
}

void monitorThread::closeNut() {
    m_nut.reset();
}

int monitorThread::openNut(bool report) {
    m_nut.reset(new nutclient::Connection(kNutTimeoutMs));
    m_nutTypesRead = false;
    nutclient::Error e = m_nut->open(m_link.nutHost, m_link.nutPort);
    qxwatch::StatusView view{};
    int result = e == nutclient::Error::None ? readNut(&view) : nutCode(int(e));
    if (result != 0) {
        // Permanent refusals are said by giveUp(); a reconnect logs its own summary.
        if (report && !isPermanent(result)) consolePrint::instance().printMsg(nutText(result));
        if (!isPermanent(result)) closeNut();
        return result;
    }
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_view = view;
        m_viewFromBlock = false;
    }
    if (report) {
        consolePrint::instance().printMsg(
            tr("Watching UPS \"%1\" on upsd %2:%3")
                .arg(QString::fromStdString(m_link.nutUps), QString::fromStdString(m_link.nutHost))
                .arg(m_link.nutPort));
    }
    // The versions are the module's answer to an open on its own line;
    // through upsd there are none to show, and no zeros stand in for them.
    consolePrint& console = consolePrint::instance();
    console.printHwVer(QStringLiteral("—"));
    console.printFwVer(QStringLiteral("—"));
    console.printDrvVer(QStringLiteral("—"));
    return 0;
}

int monitorThread::readNut(qxwatch::StatusView* view) {
    // A connection that broke is made again at the next read: the line
    // watch decides from the failures when the line counts as lost.
    if (!m_nut || !m_nut->isOpen()) {
        if (!m_nut) m_nut.reset(new nutclient::Connection(kNutTimeoutMs));
        const nutclient::Error e = m_nut->open(m_link.nutHost, m_link.nutPort);
        if (e != nutclient::Error::None) return nutCode(int(e));
    }
    std::vector<nutclient::Variable> vars;
    const nutclient::Error e = m_nut->listVar(m_link.nutUps, &vars);
    if (e != nutclient::Error::None) {
        // upsd keeps a connection open after an ERR; a broken one is dropped.
        if (e == nutclient::Error::Timeout || e == nutclient::Error::Closed ||
            e == nutclient::Error::Protocol)
            m_nut->close();
        return nutCode(int(e));
    }
    std::vector<std::pair<std::string, std::string>> pairs;
    pairs.reserve(vars.size());
    for (const nutclient::Variable& v : vars)
        pairs.emplace_back(v.name, v.value);
    *view = qxwatch::nutFacts(pairs).view;
    return 0;
}

void monitorThread::pollNut(qint64 slept) {
    qxwatch::StatusView view{};
    const int result = readNut(&view);
    const qint64 now = steadyMs();
    const qxwatch::LineDecision d = m_line.readDone(result, now, slept);
    if (result == 0) m_lastGoodWallMs.store(QDateTime::currentMSecsSinceEpoch());
    if (isPermanent(result)) {
        giveUp(result, m_handledNumber);
        return;
    }
    logLine(d);
    if (result == 0) {
        {
            std::lock_guard<std::mutex> guard(m_lock);
            m_view = view;
            m_viewFromBlock = false;
        }
        if (m_signalNext || view != m_nutSignalled || now - m_signalledAtMs >= kUnchangedBlockMs) {
            m_signalNext = false;
            m_nutSignalled = view;
            m_signalledAtMs = now;
            emit signalFinished();
        }
        return;
    }
    if (d.lost) loseLine(result, m_handledNumber);
}

void monitorThread::readNutVariables() {
    if (!m_nut || !m_nut->isOpen()) return;
    std::vector<nutclient::Variable> rw;
    const nutclient::Error e = m_nut->listRw(m_link.nutUps, &rw);
    if (e != nutclient::Error::None) return;  // the next poll tells the line's state
    std::vector<nutVariable> known = nutVariables();
    std::vector<nutVariable> list;
    for (const nutclient::Variable& v : rw) {
        nutVariable item;
        item.name = QString::fromStdString(v.name);
        item.value = QString::fromStdString(v.value);
        bool found = false;
        for (const nutVariable& k : known) {
            if (k.name != item.name) continue;
            item.isEnum = k.isEnum;
            item.isRange = k.isRange;
            item.isString = k.isString;
            item.maxLength = k.maxLength;
            item.choices = k.choices;
            item.ranges = k.ranges;
            found = true;
        }
        // The types are asked once per open: they do not change while the
        // driver runs.
        if (!found || !m_nutTypesRead) {
            nutclient::VariableType type;
            if (m_nut->getType(m_link.nutUps, v.name, &type) == nutclient::Error::None) {
                item.isEnum = type.isEnum;
                item.isRange = type.isRange;
                item.isString = type.isString;
                item.maxLength = type.maxLength;
            }
            item.choices.clear();
            item.ranges.clear();
            std::vector<std::string> choices;
            if (item.isEnum &&
                m_nut->listEnum(m_link.nutUps, v.name, &choices) == nutclient::Error::None)
                for (const std::string& c : choices)
                    item.choices << QString::fromStdString(c);
            std::vector<std::pair<long, long>> ranges;
            if (item.isRange &&
                m_nut->listRange(m_link.nutUps, v.name, &ranges) == nutclient::Error::None)
                for (const auto& r : ranges)
                    item.ranges << qMakePair(r.first, r.second);
        }
        list.push_back(item);
    }
    m_nutTypesRead = true;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_nutVariables = list;
    }
    emit signalNutVariablesReady();
}

void monitorThread::writeNut(const QString& name, const QString& value) {
    // A connection of its own: a login lasts as long as its connection, and
    // a refused one must not touch the connection that watches.
    nutclient::Connection connection(kNutTimeoutMs);
    nutclient::Error e = connection.open(m_link.nutHost, m_link.nutPort);
    QString problem;
    if (e == nutclient::Error::None && m_link.nutUser.empty()) {
        problem = tr("no user is set for upsd on the Comm page");
    } else {
        if (e == nutclient::Error::None) e = connection.login(m_link.nutUser, m_link.nutPassword);
        if (e == nutclient::Error::None)
            e = connection.setVar(m_link.nutUps, name.toStdString(), value.toStdString());
        // upsd takes any user and password at login and judges them at the
        // first request that needs them: either refusal is the login's.
        if (e == nutclient::Error::InvalidPassword || e == nutclient::Error::AccessDenied) {
            problem = tr("upsd on %1 refused the login of user %2 (%3)")
                          .arg(QString::fromStdString(m_link.nutHost),
                               QString::fromStdString(m_link.nutUser),
                               QString::fromUtf8(nutclient::errorText(e)));
        } else if (e != nutclient::Error::None) {
            QString text = QString::fromUtf8(nutclient::errorText(e));
            if (!connection.lastError().empty())
                text += QStringLiteral(" (%1)").arg(QString::fromStdString(connection.lastError()));
            problem = tr("upsd on %1: %2").arg(QString::fromStdString(m_link.nutHost), text);
        }
    }
    consolePrint& console = consolePrint::instance();
    if (problem.isEmpty())
        console.printMsg(tr("%1 set to %2").arg(name, value));
    else
        console.printMsg(tr("%1 not written: %2").arg(name, problem));
    emit signalNutWritten(name, value, problem);
    // The new value shows at the next reading of the variables.
    std::lock_guard<std::mutex> guard(m_lock);
    m_nextExtras = clock::now();
}
