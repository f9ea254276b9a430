#include "control.h"

#include <errno.h>
#include <math.h>
#include <stdlib.h>

#include <sstream>
#include <vector>

namespace upssim {

namespace {

std::vector<std::string> split(const std::string& line) {
    std::istringstream in(line);
    std::vector<std::string> words;
    std::string w;
    while (in >> w)
        words.push_back(w);
    return words;
}

bool parseInteger(const std::string& text, long long lo, long long hi, long long* out) {
    if (text.empty())
        return false;
    errno = 0;
    char* end = nullptr;
    long long v = strtoll(text.c_str(), &end, 0);
    if (errno != 0 || *end != '\0' || v < lo || v > hi)
        return false;
    *out = v;
    return true;
}

std::string error(const std::string& reason) {
    return "error " + reason;
}

ControlResult registerCommand(Simulator& sim, const std::vector<std::string>& w) {
    ControlResult r;
    const bool isSet = w[0] == "set";
    if (w.size() != (isSet ? 3u : 2u)) {
        r.reply = error(isSet ? "usage: set REG VALUE" : "usage: get REG");
        return r;
    }
    long long address = 0;
    uint32_t size = sim.bank().size();
    if (!parseInteger(w[1], 0, (long long)size - 1, &address)) {
        r.reply = error("no register " + w[1] + " (REG is a protocol address 0.." +
                        std::to_string(size - 1) + ")");
        return r;
    }
    if (!isSet) {
        r.reply = "value " + std::to_string(sim.bank().value((uint32_t)address));
        return r;
    }
    long long value = 0;
    if (!parseInteger(w[2], -32768, 65535, &value)) {
        r.reply = error("bad value " + w[2] + " (0..65535)");
        return r;
    }
    sim.bank().setValue((uint32_t)address, (uint16_t)value);
    r.reply = "ok";
    return r;
}

ControlResult scenarioCommand(Simulator& sim, const std::vector<std::string>& w, int64_t nowMs) {
    ControlResult r;
    r.reply = "ok";
    const std::string what = w.size() >= 2 ? w[1] : "";
    if (what == "charge") {
        char* end = nullptr;
        double rate = w.size() == 3 ? strtod(w[2].c_str(), &end) : NAN;
        if (w.size() != 3 || *end != '\0' || !isfinite(rate) || fabs(rate) > 1000) {
            r.reply = error("usage: scenario charge RATE (percent per second, -1000..1000)");
            return r;
        }
        sim.setChargeRate(rate, nowMs);
        return r;
    }
    if (w.size() != 2) {
        r.reply = error("usage: scenario dc-loss|dc-return|sw-on|sw-off|charge RATE");
    } else if (what == "dc-loss") {
        sim.dcLoss();
    } else if (what == "dc-return") {
        sim.dcReturn();
    } else if (what == "sw-on" || what == "sw-off") {
        sim.swOutput(what == "sw-on");
    } else {
        r.reply = error("unknown scenario " + what);
    }
    return r;
}

ControlResult faultCommand(Simulator& sim, const std::vector<std::string>& w) {
    ControlResult r;
    static const struct {
        const char* name;
        Fault::Kind kind;
        bool hasParam;
        long long lo, hi;
    } kFaults[] = {
        {"none", Fault::None, false, 0, 0},
        {"silent", Fault::Silent, false, 0, 0},
        {"bad-crc", Fault::BadCrc, false, 0, 0},
        {"wrong-slave", Fault::WrongSlave, false, 0, 0},
        {"exception", Fault::Exception, true, 1, 255},
        {"delay", Fault::Delay, true, 0, 600000},
        {"split", Fault::Split, true, 0, 600000},
        {"noise", Fault::Noise, false, 0, 0},
    };
    const std::string what = w.size() >= 2 ? w[1] : "";
    for (const auto& f : kFaults) {
        if (what != f.name)
            continue;
        long long param = 0;
        if (w.size() != (f.hasParam ? 3u : 2u) ||
            (f.hasParam && !parseInteger(w[2], f.lo, f.hi, &param))) {
            r.reply = error(f.hasParam ? "usage: fault " + what + " N (" + std::to_string(f.lo) +
                                             ".." + std::to_string(f.hi) + ")"
                                       : "usage: fault " + what);
            return r;
        }
        sim.setFault(Fault{f.kind, (unsigned)param});
        r.reply = "ok";
        r.faultChanged = true;
        return r;
    }
    r.reply = error(
        "usage: fault none|silent|bad-crc|wrong-slave|exception CODE|delay MS|split MS|noise");
    return r;
}

}  // namespace

ControlResult executeCommand(Simulator& sim, const std::string& line, int64_t nowMs) {
    std::vector<std::string> w = split(line);
    ControlResult r;
    if (w.empty() || w[0][0] == '#')
        return r;
    const std::string& cmd = w[0];
    if (cmd == "set" || cmd == "get")
        return registerCommand(sim, w);
    if (cmd == "scenario")
        return scenarioCommand(sim, w, nowMs);
    if (cmd == "fault")
        return faultCommand(sim, w);
    if (cmd == "stats" && w.size() == 1) {
        r.reply = "stats requests=" + std::to_string(sim.requests()) +
                  " errors=" + std::to_string(sim.errorsInjected());
    } else if (cmd == "help" && w.size() == 1) {
        r.reply = "commands: set REG VALUE, get REG, scenario ..., fault ..., stats, quit";
    } else if (cmd == "quit" && w.size() == 1) {
        r.reply = "bye";
        r.quit = true;
    } else {
        r.reply = error("unknown command '" + line + "'");
    }
    return r;
}

}  // namespace upssim
