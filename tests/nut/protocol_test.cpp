// The driver socket protocol over socket pairs: the line parser's quoting and
// escapes, dumps and broadcasts to several clients, SET and INSTCMD with
// tracking, a client that vanishes in the middle of a dump, and garbage; the
// driver's reading of ups.conf lines and register names.
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "driverSocket.h"
#include "upsConf.h"

using nutsock::Server;

namespace {

struct RecordingHandler : nutsock::Handler {
    nutsock::Status setVariable(const std::string& name, const std::string& value) override {
        calls.push_back("SET " + name + "=" + value);
        return name == "battery.charge.low" ? nutsock::StatusHandled : nutsock::StatusUnknown;
    }
    nutsock::Status instantCommand(const std::string& name, const std::string&) override {
        calls.push_back("INSTCMD " + name);
        return nutsock::StatusInvalid;
    }
    std::vector<std::string> calls;
};

// The far end of a socket pair whose near end the server serves.
struct Peer {
    explicit Peer(Server& server) : server(server) {
        int fds[2];
        EXPECT_EQ(0, socketpair(AF_UNIX, SOCK_STREAM, 0, fds));
        server.addClient(fds[0]);
        fd = fds[1];
        fcntl(fd, F_SETFL, O_NONBLOCK);
    }
    ~Peer() {
        if (fd >= 0) close(fd);
    }
    void say(const std::string& text) {
        ASSERT_EQ(static_cast<ssize_t>(text.size()), write(fd, text.data(), text.size()));
    }
    // The lines received up to and including one equal to last (serving
    // meanwhile); what came before it when the driver closes its end or the
    // line does not come within 10 s.
    std::vector<std::string> linesUntil(const std::string& last) {
        std::vector<std::string> lines;
        for (int turn = 0; turn < 1000; ++turn) {
            server.serve(10);
            char buffer[65536];
            const ssize_t n = read(fd, buffer, sizeof buffer);
            if (n == 0) return lines;
            if (n > 0) pending.append(buffer, static_cast<size_t>(n));
            size_t end;
            while ((end = pending.find('\n')) != std::string::npos) {
                lines.push_back(pending.substr(0, end));
                pending.erase(0, end + 1);
                if (lines.back() == last) return lines;
            }
        }
        return lines;
    }
    Server& server;
    int fd = -1;
    std::string pending;
};

TEST(Protocol, SplitsQuotesAndEscapes) {
    struct Row {
        const char* line;
        nutsock::SplitResult result;
        std::vector<std::string> words;
    };
    const Row rows[] = {
        {"SETINFO ups.status \"OB LB\"", nutsock::SplitOk, {"SETINFO", "ups.status", "OB LB"}},
        {"  SET  x \"a \\\"b\\\" \\\\c\"  TRACKING id-1",
         nutsock::SplitOk,
         {"SET", "x", "a \"b\" \\c", "TRACKING", "id-1"}},
        {"SET x \"\"", nutsock::SplitOk, {"SET", "x", ""}},
        {"a\\ b c", nutsock::SplitOk, {"a b", "c"}},
        {"PING # a comment \"", nutsock::SplitOk, {"PING"}},
        {"SET x \"#not a comment\"", nutsock::SplitOk, {"SET", "x", "#not a comment"}},
        {"", nutsock::SplitOk, {}},
        {"SET x \"open", nutsock::SplitUnterminatedQuote, {}},
        {"SET x \\", nutsock::SplitDanglingEscape, {}},
    };
    for (const Row& row : rows) {
        std::vector<std::string> words;
        EXPECT_EQ(row.result, nutsock::splitLine(row.line, words)) << row.line;
        if (row.result == nutsock::SplitOk) {
            EXPECT_EQ(row.words, words) << row.line;
        }
    }
    std::string many;
    for (int k = 0; k < 40; ++k)
        many += "w ";
    std::vector<std::string> words;
    EXPECT_EQ(nutsock::SplitTooManyWords, nutsock::splitLine(many, words));

    // What quote() sends reads back as the value; a newline cannot end the
    // line early.
    for (const std::string value : {"OL CHRG", "a \"b\" \\c #d", "", "two\nlines"}) {
        ASSERT_EQ(nutsock::SplitOk,
                  nutsock::splitLine("SETINFO v " + nutsock::quote(value), words));
        ASSERT_EQ(3u, words.size()) << value;
        std::string expected = value;
        for (char& c : expected)
            c = c == '\n' ? ' ' : c;
        EXPECT_EQ(expected, words[2]);
    }
}

TEST(Protocol, DumpsAndBroadcastsToEveryClient) {
    RecordingHandler handler;
    Server server(&handler);
    server.setInfo("ups.status", "OL CHRG");
    server.setInfo("battery.charge.low", "20");
    server.setFlags("battery.charge.low", "RW NUMBER");
    server.addRange("battery.charge.low", 0, 100);
    Peer first(server);
    Peer second(server);

    // Stale until the module has answered: DATASTALE first, no DATAOK.
    first.say("DUMPALL\n");
    EXPECT_EQ((std::vector<std::string>{"DATASTALE", "SETINFO ups.status \"OL CHRG\"",
                                        "SETINFO battery.charge.low \"20\"",
                                        "SETFLAGS battery.charge.low RW NUMBER",
                                        "ADDRANGE battery.charge.low 0 100", "DUMPDONE"}),
              first.linesUntil("DUMPDONE"));

    // Changes go to every client as they happen; an unchanged value is not sent.
    server.setStale(false);
    server.setInfo("ups.status", "OL CHRG");
    server.setInfo("ups.status", "OB \"DISCHRG\"");
    for (Peer* peer : {&first, &second}) {
        EXPECT_EQ((std::vector<std::string>{"DATAOK", "SETINFO ups.status \"OB \\\"DISCHRG\\\"\""}),
                  peer->linesUntil("SETINFO ups.status \"OB \\\"DISCHRG\\\"\""));
    }
    second.say("DUMPALL\n");
    const std::vector<std::string> dump = second.linesUntil("DUMPDONE");
    ASSERT_GE(dump.size(), 2u);
    EXPECT_EQ("DATAOK", dump[dump.size() - 2]);

    second.say(
        "PING\nGETPID\nSET battery.charge.low \"30\" TRACKING abc-1\n"
        "SET ups.status x\nINSTCMD load.off TRACKING t2\nLOGOUT\n");
    EXPECT_EQ((std::vector<std::string>{"PONG", "PID " + std::to_string(getpid()),
                                        "TRACKING abc-1 0", "TRACKING t2 2", "OK Goodbye"}),
              second.linesUntil("OK Goodbye"));
    EXPECT_EQ((std::vector<std::string>{"SET battery.charge.low=30", "SET ups.status=x",
                                        "INSTCMD load.off"}),
              handler.calls);
    second.linesUntil("never");  // until the driver closes its end
    EXPECT_EQ(1u, server.clientCount());
}

TEST(Protocol, SurvivesGarbageAndVanishingClients) {
    RecordingHandler handler;
    Server server(&handler);
    // Enough variables that a dump does not fit the socket buffer at once.
    for (int k = 0; k < 5000; ++k) {
        server.setInfo("experimental.register." + std::to_string(k), std::string(40, 'v'));
    }
    Peer steady(server);
    {
        Peer leaving(server);
        leaving.say("DUMPALL\n");
        server.serve(0);
    }  // gone in the middle of its dump
    for (int turn = 0; turn < 100 && server.clientCount() > 1; ++turn)
        server.serve(10);
    EXPECT_EQ(1u, server.clientCount());

    steady.say(std::string("\x01\xff garbage \"open\n", 17) + "SET\nFROB x\n\nPING\n");
    EXPECT_EQ((std::vector<std::string>{"ERR INVALID-ARGUMENT", "ERR INVALID-ARGUMENT",
                                        "ERR UNKNOWN-COMMAND", "PONG"}),
              steady.linesUntil("PONG"));
    // A line without an end is not kept growing: the client is dropped.
    steady.say(std::string(nutsock::kMaxLine + 10, 'x'));
    steady.linesUntil("never");
    EXPECT_EQ(0u, server.clientCount());
    EXPECT_TRUE(handler.calls.empty());
}

TEST(Conf, TakesOnlyWhatItCanRead) {
    struct Row {
        const char* line;
        bool ok;
        const char* value;  // of key "port" in [u]
    };
    const Row rows[] = {
        {"port = /dev/ttyS0", true, "/dev/ttyS0"},
        {"port=/dev/ttyS0", true, "/dev/ttyS0"},
        {"port= \"/dev/tty S0\"", true, "/dev/tty S0"},
        {"port =/dev/ttyS0", true, "/dev/ttyS0"},
        {"\"\" = x", false, ""},  // an empty name, not a read before the text
        {"\"\" x", false, ""},
        {"port \"\"", false, ""},
        {"port = x y", false, ""},
    };
    for (const Row& row : rows) {
        char path[] = "/tmp/nut_conf_XXXXXX";
        const int fd = mkstemp(path);
        ASSERT_GE(fd, 0);
        const std::string text = std::string("[u]\n") + row.line + "\n";
        ASSERT_EQ(static_cast<ssize_t>(text.size()), write(fd, text.data(), text.size()));
        close(fd);
        nutconf::Options section;
        std::string user;
        bool found = false;
        EXPECT_EQ(row.ok, nutconf::readUpsConf(path, "u", section, user, &found)) << row.line;
        if (row.ok) {
            EXPECT_EQ(row.value, section["port"]) << row.line;
        }
        unlink(path);
    }

    // SET takes a register by the one name the driver publishes.
    const struct {
        const char* name;
        long address;  // 0: refused
    } names[] = {
        {"experimental.register.40040", 40040},
        {"experimental.register.0040040", 0},
        {"experimental.register.+40040", 0},
        {"experimental.register.39999", 0},
        {"experimental.register.65536", 0},
        {"experimental.register.", 0},
        {"battery.charge.low", 0},
    };
    for (const auto& row : names) {
        long address = 0;
        EXPECT_EQ(row.address != 0, nutconf::parseRegisterName(row.name, &address)) << row.name;
        if (row.address != 0) {
            EXPECT_EQ(row.address, address) << row.name;
        }
    }
}

}  // namespace
