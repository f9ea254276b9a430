// upsctl --nut: the UPS as upsd lists it, mapped onto the status view, watched by the shared rules.
#include "upsctlNut.h"

#include <errno.h>
#include <stdio.h>
#include <string.h>

#include <utility>
#include <vector>

#include "nutClient.h"
#include "nutView.h"
#include "upsctlStatus.h"

namespace {

std::vector<std::pair<std::string, std::string>> pairsOf(
    const std::vector<nutclient::Variable>& vars) {
    std::vector<std::pair<std::string, std::string>> pairs;
    pairs.reserve(vars.size());
    for (const nutclient::Variable& v : vars)
        pairs.emplace_back(v.name, v.value);
    return pairs;
}

// One UPS through upsd. A connection that a failure closed is opened again
// by the next read, so that the monitor sees "connection refused" while
// upsd is down, and the UPS again once it is back.
class NutSource : public MonitorSource {
public:
    NutSource(const nutclient::Target& target, int timeoutMs)
        : m_target(target), m_connection(timeoutMs), m_timeoutMs(timeoutMs) {}
    int open() override { return (int)m_connection.open(m_target.host, m_target.port); }
    int read(qxwatch::StatusView* view) override {
        if (!m_connection.isOpen()) {
            const int rc = open();
            if (rc != 0) return rc;
        }
        std::vector<nutclient::Variable> vars;
        const nutclient::Error e = m_connection.listVar(m_target.ups, &vars);
        if (e != nutclient::Error::None) return (int)e;
        m_facts = qxwatch::nutFacts(pairsOf(vars));
        *view = m_facts.view;
        return 0;
    }
    void close() override { m_connection.close(); }
    std::string readErrorText(int code) const override { return errorText(code); }
    // "upsd on HOST: data stale"; another ERR word of upsd in brackets.
    std::string errorText(int code) const override {
        const nutclient::Error e = (nutclient::Error)code;
        std::string text = "upsd on " + m_target.host + ": " + nutclient::errorText(e);
        if (e == nutclient::Error::UnknownUps) text += " '" + m_target.ups + "'";
        if (e == nutclient::Error::Server) text += " (" + m_connection.lastError() + ")";
        return text;
    }
    uint32_t timeoutMs() const override { return (uint32_t)m_timeoutMs; }
    bool permanent(int code) const override {
        return nutclient::isPermanent((nutclient::Error)code);
    }
    bool logsEachKind() const override { return true; }

    const qxwatch::NutFacts& facts() const { return m_facts; }
    nutclient::Connection* connection() { return &m_connection; }

private:
    nutclient::Target m_target;
    nutclient::Connection m_connection;
    int m_timeoutMs;
    qxwatch::NutFacts m_facts = {};
};

int failed(const std::string& why) {
    fprintf(stderr, "upsctl: %s\n", why.c_str());
    return kNutFailed;
}

// The first line of the file, without its end; false with the reason.
bool readPassword(const char* path, std::string* password, std::string* why) {
    FILE* f = fopen(path, "r");
    if (f == nullptr) {
        *why = std::string("cannot read the password file ") + path + ": " + strerror(errno);
        return false;
    }
    char line[1024] = "";
    const bool got = fgets(line, sizeof line, f) != nullptr;
    fclose(f);
    if (!got) {
        *why = std::string("the password file ") + path + " is empty";
        return false;
    }
    line[strcspn(line, "\r\n")] = '\0';
    *password = line;
    return true;
}

int listUps(NutSource* source) {
    std::vector<nutclient::UpsEntry> list;
    const int rc = (int)source->connection()->listUps(&list);
    if (rc != 0) return failed(source->errorText(rc));
    for (const nutclient::UpsEntry& ups : list)
        printf("%s  %s\n", ups.name.c_str(), ups.description.c_str());
    return 0;
}

int writeVariable(NutSource* source, const nutclient::Target& target, const NutRequest& r) {
    nutclient::Connection* c = source->connection();
    if (r.user != nullptr) {
        std::string password;
        std::string why;
        if (r.passwordFile != nullptr && !readPassword(r.passwordFile, &password, &why))
            return failed(why);
        const int rc = (int)c->login(r.user, password);
        if (rc != 0) return failed(source->errorText(rc));
    }
    const int rc = (int)c->setVar(target.ups, r.args[0], r.args[1]);
    return rc == 0 ? 0 : failed(source->errorText(rc));
}

}  // namespace

int nutCommand(const NutRequest& r, Hook* hooks, const MonitorLevels& levels, int warnLevel,
               int criticalLevel) {
    nutclient::Target target;
    std::string why;
    if (!nutclient::parseTarget(r.target, &target, &why))
        return failed(std::string("bad --nut '") + r.target + "': " + why);
    const bool isList = strcmp(r.command, "list") == 0;
    if (!isList && target.ups.empty())
        return failed(std::string("--nut '") + r.target + "' names no UPS: give UPS@HOST");
    NutSource source(target, r.timeoutMs);
    const int rc = source.open();
    if (rc != 0) return failed(source.errorText(rc));
    if (isList) return listUps(&source);
    if (strcmp(r.command, "write") == 0) return writeVariable(&source, target, r);
    if (strcmp(r.command, "monitor") == 0)
        return monitorSource(&source, r.intervalMs, hooks, levels) == 0 ? 0 : kNutFailed;
    qxwatch::StatusView view = {};
    const int read = source.read(&view);
    if (read != 0) return failed(source.errorText(read));
    // The runtime is the one upsd publishes (our driver's estimate), if any.
    const qxwatch::NutFacts& facts = source.facts();
    if (r.json) {
        printStatusJson(view, facts.model, facts.runtimeS, warnLevel, criticalLevel);
    } else {
        printStatus(view, facts.model, facts.runtimeS);
    }
    return 0;
}
