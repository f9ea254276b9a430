// The socket side of the NUT client: connect with a time-out, bounded line reads, requests.
#include "nutClient.h"

#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <chrono>

#include "nutProtocol.h"

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace nutclient {

namespace {

#ifdef _WIN32
// Socket handles fit in an int (Windows keeps handles to 32 significant bits).
typedef SOCKET Socket;
const int kSendFlags = 0;
int socketError() {
    return WSAGetLastError();
}
bool wouldBlock(int e) {
    return e == WSAEWOULDBLOCK || e == WSAEINPROGRESS;
}
bool interrupted(int e) {
    return e == WSAEINTR;
}
void closeSocket(int fd) {
    closesocket((Socket)fd);
}
int pollFds(pollfd* p, int ms) {
    return WSAPoll(p, 1, ms);
}
bool setNonBlocking(Socket s) {
    u_long on = 1;
    return ioctlsocket(s, FIONBIO, &on) == 0;
}
// Winsock is started once for the process and left to its end.
bool startSockets() {
    static const bool started = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return started;
}
#else
typedef int Socket;
const int kSendFlags = MSG_NOSIGNAL;
int socketError() {
    return errno;
}
bool wouldBlock(int e) {
    return e == EAGAIN || e == EWOULDBLOCK || e == EINPROGRESS;
}
bool interrupted(int e) {
    return e == EINTR;
}
void closeSocket(int fd) {
    ::close(fd);
}
int pollFds(pollfd* p, int ms) {
    return ::poll(p, 1, ms);
}
bool setNonBlocking(Socket s) {
    const int flags = fcntl(s, F_GETFL);
    return flags >= 0 && fcntl(s, F_SETFL, flags | O_NONBLOCK) == 0;
}
bool startSockets() {
    return true;
}
#endif

long long nowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// Waits for the events until the deadline: 1 ready, 0 timed out, -1 failed.
int waitFor(int fd, short events, long long deadlineMs) {
    for (;;) {
        const long long left = deadlineMs - nowMs();
        if (left <= 0) return 0;
        pollfd p = {};
        p.fd = (Socket)fd;
        p.events = events;
        const int n = pollFds(&p, (int)(left > 60000 ? 60000 : left));
        if (n > 0) return 1;
        if (n < 0 && !interrupted(socketError())) return -1;
    }
}

// One connect attempt to one address within the deadline.
Error connectOne(const addrinfo* a, long long deadlineMs, int* fdOut) {
    const Socket s = socket(a->ai_family, a->ai_socktype, a->ai_protocol);
#ifdef _WIN32
    if (s == INVALID_SOCKET) return Error::Refused;
#else
    if (s < 0) return Error::Refused;
    fcntl(s, F_SETFD, FD_CLOEXEC);
#endif
    const int fd = (int)s;
    if (!setNonBlocking(s)) {
        closeSocket(fd);
        return Error::Refused;
    }
    if (connect(s, a->ai_addr, (int)a->ai_addrlen) != 0) {
        if (!wouldBlock(socketError())) {
            closeSocket(fd);
            return Error::Refused;
        }
        const int ready = waitFor(fd, POLLOUT, deadlineMs);
        int err = 0;
        socklen_t len = sizeof err;
        if (ready <= 0 || getsockopt(s, SOL_SOCKET, SO_ERROR, (char*)&err, &len) != 0 || err != 0) {
            closeSocket(fd);
            return ready == 0 ? Error::Timeout : Error::Refused;
        }
    }
    *fdOut = fd;
    return Error::None;
}

}  // namespace

const char* errorText(Error e) {
    switch (e) {
        case Error::None:
            return "success";
        case Error::Refused:
            return "connection refused";
        case Error::Closed:
            return "connection closed";
        case Error::Timeout:
            return "no answer in time";
        case Error::Protocol:
            return "broken answer";
        case Error::DataStale:
            return "data stale";
        case Error::DriverNotConnected:
            return "driver not connected";
        case Error::UnknownUps:
            return "unknown UPS";
        case Error::AccessDenied:
            return "access denied";
        case Error::InvalidPassword:
            return "user name or password refused";
        case Error::Server:
            return "refused by the server";
    }
    return "unknown error";
}

bool isPermanent(Error e) {
    return e == Error::UnknownUps || e == Error::AccessDenied || e == Error::InvalidPassword;
}

bool parseTarget(const std::string& text, Target* out, std::string* why) {
    const size_t at = text.rfind('@');
    if (at == std::string::npos) {
        *why = "no '@': give UPS@HOST[:PORT]";
        return false;
    }
    Target t;
    t.ups = text.substr(0, at);
    std::string rest = text.substr(at + 1);
    std::string port;
    if (!rest.empty() && rest[0] == '[') {
        const size_t close = rest.find(']');
        if (close == std::string::npos) {
            *why = "no ']' after the IPv6 address";
            return false;
        }
        t.host = rest.substr(1, close - 1);
        if (close + 1 < rest.size()) {
            if (rest[close + 1] != ':') {
                *why = "only ':PORT' may follow ']'";
                return false;
            }
            port = rest.substr(close + 2);
            if (port.empty()) port = "x";  // "[::1]:" has no port
        }
    } else {
        const size_t colon = rest.find(':');
        if (colon != std::string::npos && rest.find(':', colon + 1) != std::string::npos) {
            *why = "an IPv6 address goes in brackets: UPS@[ADDRESS]:PORT";
            return false;
        }
        t.host = rest.substr(0, colon);
        if (colon != std::string::npos) port = rest.substr(colon + 1);
        if (colon != std::string::npos && port.empty()) port = "x";
    }
    if (t.host.empty()) {
        *why = "no host";
        return false;
    }
    for (const char c : t.ups + t.host) {
        if ((unsigned char)c <= ' ' || c == '"' || c == '\\') {
            *why = "blank, quote or control character in the name";
            return false;
        }
    }
    if (!port.empty()) {
        char* end = nullptr;
        const long n = strtol(port.c_str(), &end, 10);
        if (port[0] < '0' || port[0] > '9' || *end != '\0' || n < 1 || n > 65535) {
            *why = "the port is a number 1..65535";
            return false;
        }
        t.port = (uint16_t)n;
    }
    *out = t;
    return true;
}

Connection::Connection(int timeoutMs) : m_timeoutMs(timeoutMs > 0 ? timeoutMs : 5000) {}

Connection::~Connection() {
    close();
}

bool Connection::isOpen() const {
    return m_fd >= 0;
}

void Connection::close() {
    if (m_fd >= 0) {
        // A polite goodbye, without waiting for its answer.
        send(m_fd, "LOGOUT\n", 7, kSendFlags);
        closeSocket(m_fd);
    }
    m_fd = -1;
    m_buffer.clear();
}

Error Connection::open(const std::string& host, uint16_t port) {
    close();
    m_lastError.clear();
    if (!startSockets()) return Error::Refused;
    addrinfo hints = {};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    addrinfo* list = nullptr;
    const std::string service = std::to_string(port);
    if (getaddrinfo(host.c_str(), service.c_str(), &hints, &list) != 0 || list == nullptr)
        return Error::Refused;
    const long long deadline = nowMs() + m_timeoutMs;
    Error result = Error::Refused;
    for (const addrinfo* a = list; a != nullptr; a = a->ai_next) {
        result = connectOne(a, deadline, &m_fd);
        if (result == Error::None || result == Error::Timeout) break;
    }
    freeaddrinfo(list);
    return result;
}

// Sends one request line; on failure the connection is closed.
Error Connection::sendLine(const std::string& line, long long deadlineMs) {
    if (m_fd < 0) return Error::Closed;
    const std::string data = line + "\n";
    size_t sent = 0;
    while (sent < data.size()) {
        const long n = (long)send(m_fd, data.data() + sent, (int)(data.size() - sent), kSendFlags);
        if (n > 0) {
            sent += (size_t)n;
            continue;
        }
        const int e = socketError();
        if (n < 0 && interrupted(e)) continue;
        if (n < 0 && wouldBlock(e)) {
            const int ready = waitFor(m_fd, POLLOUT, deadlineMs);
            if (ready > 0) continue;
            close();
            return ready == 0 ? Error::Timeout : Error::Closed;
        }
        close();
        return Error::Closed;
    }
    return Error::None;
}

// Reads one line (without its end) by the deadline; a line over kMaxLine is
// Protocol. On failure the connection is closed: the rest of the answer
// would be read as the next one's.
Error Connection::readLine(std::string* line, long long deadlineMs) {
    for (;;) {
        const size_t end = m_buffer.find('\n');
        if (end != std::string::npos) {
            if (end > kMaxLine) break;
            *line = m_buffer.substr(0, end);
            m_buffer.erase(0, end + 1);
            if (!line->empty() && line->back() == '\r') line->pop_back();
            return Error::None;
        }
        if (m_buffer.size() > kMaxLine) break;
        if (m_fd < 0) return Error::Closed;
        const int ready = waitFor(m_fd, POLLIN, deadlineMs);
        if (ready <= 0) {
            close();
            return ready == 0 ? Error::Timeout : Error::Closed;
        }
        char chunk[1024];
        const long n = (long)recv(m_fd, chunk, sizeof chunk, 0);
        if (n > 0) {
            m_buffer.append(chunk, (size_t)n);
        } else if (n == 0 || !(interrupted(socketError()) || wouldBlock(socketError()))) {
            close();
            return Error::Closed;
        }
    }
    close();
    return Error::Protocol;
}

Error Connection::simple(const std::string& request) {
    const long long deadline = nowMs() + m_timeoutMs;
    Error e = sendLine(request, deadline);
    std::string line;
    if (e == Error::None) e = readLine(&line, deadline);
    if (e != Error::None) return e;
    e = simpleAnswer(line, &m_lastError);
    if (e == Error::Protocol) close();
    return e;
}

Error Connection::list(const std::vector<std::string>& head,
                       std::vector<std::vector<std::string>>* entries) {
    m_lastError.clear();
    std::string request = "LIST";
    for (const std::string& word : head)
        request += " " + word;
    const long long deadline = nowMs() + m_timeoutMs;
    Error e = sendLine(request, deadline);
    ListAnswer answer(head);
    std::string line;
    while (e == Error::None) {
        e = readLine(&line, deadline);
        if (e == Error::None && answer.feed(line)) break;
    }
    if (e != Error::None) return e;
    m_lastError = answer.errorWord();
    if (answer.error() == Error::Protocol) close();
    if (answer.error() != Error::None) return answer.error();
    *entries = answer.entries();
    return Error::None;
}

Error Connection::listUps(std::vector<UpsEntry>* out) {
    std::vector<std::vector<std::string>> entries;
    const Error e = list({"UPS"}, &entries);
    if (e != Error::None) return e;
    out->clear();
    for (const auto& words : entries)
        out->push_back({words[0], words.size() > 1 ? words[1] : std::string()});
    return Error::None;
}

// LIST VAR and LIST RW: entries "NAME VALUE".
Error Connection::listVariables(const char* kind, const std::string& ups,
                                std::vector<Variable>* out) {
    std::vector<std::vector<std::string>> entries;
    const Error e = list({kind, ups}, &entries);
    if (e != Error::None) return e;
    out->clear();
    for (const auto& words : entries)
        out->push_back({words[0], words.size() > 1 ? words[1] : std::string()});
    return Error::None;
}

Error Connection::listVar(const std::string& ups, std::vector<Variable>* out) {
    return listVariables("VAR", ups, out);
}

Error Connection::listRw(const std::string& ups, std::vector<Variable>* out) {
    return listVariables("RW", ups, out);
}

Error Connection::getType(const std::string& ups, const std::string& name, VariableType* out) {
    m_lastError.clear();
    const long long deadline = nowMs() + m_timeoutMs;
    Error e = sendLine("GET TYPE " + ups + " " + name, deadline);
    std::string line;
    if (e == Error::None) e = readLine(&line, deadline);
    if (e != Error::None) return e;
    std::vector<std::string> words;
    if (splitWords(line, &words) && parseType(words, ups, name, out)) return Error::None;
    e = simpleAnswer(line, &m_lastError);
    if (e == Error::None || e == Error::Protocol) {
        close();
        return Error::Protocol;
    }
    return e;
}

Error Connection::listEnum(const std::string& ups, const std::string& name,
                           std::vector<std::string>* out) {
    std::vector<std::vector<std::string>> entries;
    const Error e = list({"ENUM", ups, name}, &entries);
    if (e != Error::None) return e;
    out->clear();
    for (const auto& words : entries)
        out->push_back(words[0]);
    return Error::None;
}

Error Connection::listRange(const std::string& ups, const std::string& name,
                            std::vector<std::pair<long, long>>* out) {
    std::vector<std::vector<std::string>> entries;
    Error e = list({"RANGE", ups, name}, &entries);
    if (e != Error::None) return e;
    out->clear();
    for (const auto& words : entries) {
        if (words.size() != 2) e = Error::Protocol;
        long bounds[2] = {0, 0};
        for (size_t k = 0; e == Error::None && k < 2; ++k) {
            char* end = nullptr;
            errno = 0;
            bounds[k] = strtol(words[k].c_str(), &end, 10);
            if (words[k].empty() || *end != '\0' || errno != 0) e = Error::Protocol;
        }
        if (e != Error::None) {
            out->clear();
            close();
            return e;
        }
        out->push_back({bounds[0], bounds[1]});
    }
    return Error::None;
}

Error Connection::login(const std::string& user, const std::string& password) {
    m_lastError.clear();
    Error e = simple("USERNAME " + quoteValue(user));
    if (e == Error::None) e = simple("PASSWORD " + quoteValue(password));
    return e;
}

Error Connection::setVar(const std::string& ups, const std::string& name,
                         const std::string& value) {
    m_lastError.clear();
    return simple("SET VAR " + ups + " " + name + " " + quoteValue(value));
}

}  // namespace nutclient
