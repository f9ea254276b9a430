// NUT's driver socket: the text protocol between a driver and upsd (and any
// other local client, such as a debugging socat). One command a line; words
// are separated by blanks, "..." keeps blanks inside a word and a backslash
// takes the next character as it is. The driver keeps its variables here and
// sends every change to every client as it happens.
//
// Plain C++ and POSIX, single-threaded: the driver's loop calls serve() between
// its polls of the module.
#pragma once

#include <stddef.h>
#include <sys/types.h>

#include <string>
#include <vector>

namespace nutsock {

// Limits of one line and its words (NUT's own parser allows 32 words of 512
// characters; a little more is harmless).
const size_t kMaxLine = 4096;
const size_t kMaxWords = 32;
// A client that reads nothing while this much output piles up is dropped.
const size_t kMaxPendingOutput = 1024 * 1024;
// upsd and a few debugging clients are all a driver serves; beyond this, or
// when the process is out of descriptors, the client heard from the longest
// ago makes room, so that a restarted upsd is always served.
const size_t kMaxClients = 64;
// When no client can make room, new connections wait this long in the
// listening queue instead of waking the loop at once, for ever.
const int kAcceptPauseMs = 1000;

enum SplitResult { SplitOk = 0, SplitUnterminatedQuote, SplitDanglingEscape, SplitTooManyWords };

// Whether a driver answers on the Unix socket at path.
bool answers(const std::string& path);

// Splits one line (without its newline) into words. A '#' outside quotes
// starts a comment; a quoted empty string is a word of its own.
SplitResult splitLine(const std::string& line, std::vector<std::string>& words);

// A value as one quoted word: "value" with '\', '"' and '#' escaped (NUT's
// parser refuses a bare '#' even inside quotes), control characters (a
// newline would end the line) replaced by blanks.
std::string quote(const std::string& value);

// Status codes of TRACKING answers (NUT's STAT_SET_* and STAT_INSTCMD_*).
enum Status { StatusHandled = 0, StatusUnknown = 1, StatusInvalid = 2, StatusFailed = 3 };

// What the driver does with SET and INSTCMD.
class Handler {
public:
    virtual ~Handler() = default;
    virtual Status setVariable(const std::string& name, const std::string& value) = 0;
    virtual Status instantCommand(const std::string& name, const std::string& parameter) = 0;
};

class Server {
public:
    explicit Server(Handler* handler);
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    // Listens on a Unix socket at path (a stale socket file there is
    // replaced; anything else there is left alone: EEXIST). The file is made
    // 0660 and handed to owner:group unless they are -1, without following a
    // link. False with errno set on failure.
    bool listenAt(const std::string& path, uid_t owner = static_cast<uid_t>(-1),
                  gid_t group = static_cast<gid_t>(-1));
    // Takes a connected stream socket as a client (tests, socket pairs).
    void addClient(int fd);
    size_t clientCount() const { return m_clients.size(); }
    int listenFd() const { return m_listenFd; }

    // The variables, in the order they were first set.
    void setInfo(const std::string& name, const std::string& value);
    void delInfo(const std::string& name);
    // "RW NUMBER" and the like; replaces earlier flags.
    void setFlags(const std::string& name, const std::string& flags);
    void addRange(const std::string& name, long min, long max);
    const std::string* info(const std::string& name) const;
    // DATASTALE or DATAOK to every client when the state changes.
    void setStale(bool stale);
    bool stale() const { return m_stale; }

    // Accepts, reads and answers, and writes pending output, for at most
    // timeoutMs (0: only what is ready now). Returns early after a command.
    void serve(int timeoutMs);

private:
    struct Client {
        int fd;
        std::string input;
        std::string output;
        bool dropping;
        long heardMs;  // when it last sent something (or connected)
    };
    struct Variable {
        std::string name;
        std::string value;
        std::string flags;
        std::vector<std::pair<long, long>> ranges;
    };

    Variable* find(const std::string& name);
    void broadcast(const std::string& line);
    void send(Client& client, const std::string& line);
    void dump(Client& client);
    void handleLine(Client& client, const std::string& line);
    void readFrom(Client& client);
    void writeTo(Client& client);
    void acceptClients();
    bool makeRoom();
    void closeDropped();

    Handler* m_handler;
    int m_listenFd = -1;
    std::string m_path;
    dev_t m_socketDevice = 0;  // the socket file bound, which alone is removed at the end
    ino_t m_socketInode = 0;
    long m_acceptPausedUntilMs = 0;
    std::vector<Client> m_clients;
    std::vector<Variable> m_variables;
    bool m_stale = true;
};

}  // namespace nutsock
