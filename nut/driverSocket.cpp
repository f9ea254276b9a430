#include "driverSocket.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <stdio.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>

namespace nutsock {

namespace {

long nowMs() {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

bool socketAddress(const std::string& path, sockaddr_un* address) {
    *address = sockaddr_un();
    address->sun_family = AF_UNIX;
    if (path.size() >= sizeof address->sun_path) {
        errno = ENAMETOOLONG;
        return false;
    }
    memcpy(address->sun_path, path.c_str(), path.size() + 1);
    return true;
}

}  // namespace

bool answers(const std::string& path) {
    sockaddr_un address;
    struct stat st;
    if (!socketAddress(path, &address) || lstat(path.c_str(), &st) != 0 || !S_ISSOCK(st.st_mode))
        return false;
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) return false;
    // EAGAIN: its queue is full, yet someone listens; a stale file refuses.
    const bool live =
        connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 || errno == EAGAIN;
    close(fd);
    return live;
}

SplitResult splitLine(const std::string& line, std::vector<std::string>& words) {
    words.clear();
    std::string word;
    bool inWord = false;  // a quoted empty string is a word too
    bool quoted = false;
    for (size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (c == '\\') {
            if (i + 1 >= line.size()) return SplitDanglingEscape;
            word += line[++i];
            inWord = true;
        } else if (c == '"') {
            quoted = !quoted;
            inWord = true;
        } else if (quoted) {
            word += c;
        } else if (c == '#') {
            break;
        } else if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
            if (inWord) {
                if (words.size() >= kMaxWords) return SplitTooManyWords;
                words.push_back(word);
                word.clear();
                inWord = false;
            }
        } else {
            word += c;
            inWord = true;
        }
    }
    if (quoted) return SplitUnterminatedQuote;
    if (inWord) {
        if (words.size() >= kMaxWords) return SplitTooManyWords;
        words.push_back(word);
    }
    return SplitOk;
}

std::string quote(const std::string& value) {
    std::string text = "\"";
    for (const char c : value) {
        if (c == '\\' || c == '"' || c == '#') {
            text += '\\';
            text += c;
        } else if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
            text += ' ';
        } else {
            text += c;
        }
    }
    text += '"';
    return text;
}

Server::Server(Handler* handler) : m_handler(handler) {}

Server::~Server() {
    for (Client& client : m_clients)
        close(client.fd);
    if (m_listenFd >= 0) {
        close(m_listenFd);
        // Only the socket this server bound: another driver's, or whatever
        // was put in its place, stays.
        struct stat st;
        if (lstat(m_path.c_str(), &st) == 0 && S_ISSOCK(st.st_mode) &&
            st.st_dev == m_socketDevice && st.st_ino == m_socketInode) {
            unlink(m_path.c_str());
        }
    }
}

bool Server::listenAt(const std::string& path, uid_t owner, gid_t group) {
    sockaddr_un address;
    if (!socketAddress(path, &address)) return false;
    struct stat st;
    if (lstat(path.c_str(), &st) == 0) {
        // A socket left behind by a driver that did not end cleanly (the
        // caller has asked whether one answers there); anything else may be
        // a link planted by someone who can write the folder.
        if (!S_ISSOCK(st.st_mode)) {
            errno = EEXIST;
            return false;
        }
        if (unlink(path.c_str()) != 0) return false;
    }
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) return false;
    // The mode comes from the umask at bind, so nothing is changed by path
    // afterwards (the driver has no other thread yet to see the umask).
    const mode_t mask = umask(0117);
    const bool bound = bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    const int bindError = errno;
    umask(mask);
    errno = bindError;
    bool ok = bound;
    if (ok && (lstat(path.c_str(), &st) != 0 || !S_ISSOCK(st.st_mode) || st.st_uid != geteuid())) {
        errno = EEXIST;  // replaced since the bind: not ours to hand over
        ok = false;
    }
    if (ok && owner != static_cast<uid_t>(-1)) {
        ok = fchownat(AT_FDCWD, path.c_str(), owner, group, AT_SYMLINK_NOFOLLOW) == 0;
    }
    if (ok) ok = listen(fd, 16) == 0;
    if (!ok) {
        const int saved = errno;
        close(fd);
        errno = saved;
        return false;
    }
    m_listenFd = fd;
    m_path = path;
    m_socketDevice = st.st_dev;
    m_socketInode = st.st_ino;
    return true;
}

void Server::addClient(int fd) {
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    fcntl(fd, F_SETFD, FD_CLOEXEC);
    m_clients.push_back(Client{fd, std::string(), std::string(), false, nowMs()});
}

Server::Variable* Server::find(const std::string& name) {
    for (Variable& v : m_variables) {
        if (v.name == name) return &v;
    }
    return nullptr;
}

const std::string* Server::info(const std::string& name) const {
    for (const Variable& v : m_variables) {
        if (v.name == name) return &v.value;
    }
    return nullptr;
}

void Server::setInfo(const std::string& name, const std::string& value) {
    Variable* v = find(name);
    if (v != nullptr && v->value == value) return;
    if (v == nullptr) {
        m_variables.push_back(Variable{name, value, std::string(), {}});
    } else {
        v->value = value;
    }
    broadcast("SETINFO " + name + " " + quote(value));
}

void Server::delInfo(const std::string& name) {
    const auto it = std::find_if(m_variables.begin(), m_variables.end(),
                                 [&](const Variable& v) { return v.name == name; });
    if (it == m_variables.end()) return;
    m_variables.erase(it);
    broadcast("DELINFO " + name);
}

void Server::setFlags(const std::string& name, const std::string& flags) {
    Variable* v = find(name);
    if (v == nullptr || v->flags == flags) return;
    v->flags = flags;
    broadcast("SETFLAGS " + name + " " + flags);
}

void Server::addRange(const std::string& name, long min, long max) {
    Variable* v = find(name);
    if (v == nullptr) return;
    const std::pair<long, long> range(min, max);
    if (std::find(v->ranges.begin(), v->ranges.end(), range) != v->ranges.end()) return;
    v->ranges.push_back(range);
    broadcast("ADDRANGE " + name + " " + std::to_string(min) + " " + std::to_string(max));
}

void Server::setStale(bool stale) {
    if (stale == m_stale) return;
    m_stale = stale;
    broadcast(stale ? "DATASTALE" : "DATAOK");
}

void Server::broadcast(const std::string& line) {
    for (Client& client : m_clients)
        send(client, line);
}

void Server::send(Client& client, const std::string& line) {
    if (client.dropping) return;
    client.output += line;
    client.output += '\n';
    if (client.output.size() > kMaxPendingOutput) {
        client.dropping = true;  // it reads nothing: no use keeping it
        return;
    }
    writeTo(client);
}

void Server::dump(Client& client) {
    if (m_stale) send(client, "DATASTALE");
    for (const Variable& v : m_variables) {
        send(client, "SETINFO " + v.name + " " + quote(v.value));
        if (!v.flags.empty()) send(client, "SETFLAGS " + v.name + " " + v.flags);
        for (const auto& range : v.ranges) {
            send(client, "ADDRANGE " + v.name + " " + std::to_string(range.first) + " " +
                             std::to_string(range.second));
        }
    }
    if (!m_stale) send(client, "DATAOK");
    send(client, "DUMPDONE");
}

void Server::handleLine(Client& client, const std::string& line) {
    std::vector<std::string> words;
    if (splitLine(line, words) != SplitOk) {
        send(client, "ERR INVALID-ARGUMENT");
        return;
    }
    if (words.empty()) return;
    const std::string& command = words[0];
    // "... TRACKING <id>" at the end of SET and INSTCMD.
    std::string tracking;
    size_t count = words.size();
    if ((command == "SET" || command == "INSTCMD") && count >= 4 &&
        words[count - 2] == "TRACKING") {
        tracking = words[count - 1];
        count -= 2;
    }
    if (command == "DUMPALL" && count == 1) {
        dump(client);
    } else if (command == "PING" && count == 1) {
        send(client, "PONG");
    } else if (command == "LOGOUT" && count == 1) {
        send(client, "OK Goodbye");
        client.dropping = true;
    } else if (command == "GETPID" && count == 1) {
        send(client, "PID " + std::to_string(static_cast<long>(getpid())));
    } else if (command == "SET" && count == 3) {
        const Status status = m_handler->setVariable(words[1], words[2]);
        if (!tracking.empty()) send(client, "TRACKING " + tracking + " " + std::to_string(status));
    } else if (command == "INSTCMD" && (count == 2 || count == 3)) {
        const Status status =
            m_handler->instantCommand(words[1], count == 3 ? words[2] : std::string());
        if (!tracking.empty()) send(client, "TRACKING " + tracking + " " + std::to_string(status));
    } else if (command == "DUMPALL" || command == "PING" || command == "LOGOUT" ||
               command == "GETPID" || command == "SET" || command == "INSTCMD") {
        send(client, "ERR INVALID-ARGUMENT");
    } else {
        send(client, "ERR UNKNOWN-COMMAND");
    }
}

void Server::readFrom(Client& client) {
    char buffer[4096];
    for (;;) {
        const ssize_t n = recv(client.fd, buffer, sizeof buffer, 0);
        if (n == 0) {
            client.dropping = true;
            client.output.clear();  // nobody left to read it
            return;
        }
        if (n < 0) {
            if (errno == EINTR) continue;
            if (errno != EAGAIN && errno != EWOULDBLOCK) {
                client.dropping = true;
                client.output.clear();
            }
            return;
        }
        client.input.append(buffer, static_cast<size_t>(n));
        client.heardMs = nowMs();
        size_t start = 0;
        size_t end;
        while (!client.dropping && (end = client.input.find('\n', start)) != std::string::npos) {
            handleLine(client, client.input.substr(start, end - start));
            start = end + 1;
        }
        client.input.erase(0, start);
        if (client.input.size() > kMaxLine) {
            send(client, "ERR INVALID-ARGUMENT");
            client.dropping = true;
        }
        if (client.dropping) return;
    }
}

void Server::writeTo(Client& client) {
    while (!client.output.empty()) {
        const ssize_t n =
            ::send(client.fd, client.output.data(), client.output.size(), MSG_NOSIGNAL);
        if (n > 0) {
            client.output.erase(0, static_cast<size_t>(n));
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
                client.dropping = true;  // gone, perhaps in the middle of a dump
                client.output.clear();
            }
            return;
        }
    }
}

void Server::acceptClients() {
    for (;;) {
        if (m_clients.size() >= kMaxClients && !makeRoom()) {
            m_acceptPausedUntilMs = nowMs() + kAcceptPauseMs;
            return;
        }
        const int fd = accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd >= 0) {
            m_clients.push_back(Client{fd, std::string(), std::string(), false, nowMs()});
            continue;
        }
        if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
            if (makeRoom()) continue;
            // The connection stays queued; without the pause the listening
            // socket would wake poll at once, for ever.
            m_acceptPausedUntilMs = nowMs() + kAcceptPauseMs;
        }
        return;  // EAGAIN: none left
    }
}

// Closes the client heard from the longest ago; its descriptor is free at
// once, its entry goes at the next closeDropped().
bool Server::makeRoom() {
    Client* quietest = nullptr;
    for (Client& client : m_clients) {
        if (client.fd >= 0 && (quietest == nullptr || client.heardMs < quietest->heardMs))
            quietest = &client;
    }
    if (quietest == nullptr) return false;
    close(quietest->fd);
    quietest->fd = -1;
    quietest->dropping = true;
    quietest->output.clear();
    return true;
}

// A dropped client is closed once what it was promised is written ("OK
// Goodbye"), or at once when it cannot take it.
void Server::closeDropped() {
    for (size_t i = 0; i < m_clients.size();) {
        Client& client = m_clients[i];
        if (client.dropping &&
            (client.output.empty() || client.output.size() > kMaxPendingOutput)) {
            if (client.fd >= 0) close(client.fd);
            m_clients.erase(m_clients.begin() + static_cast<long>(i));
        } else {
            ++i;
        }
    }
}

void Server::serve(int timeoutMs) {
    closeDropped();
    std::vector<pollfd> fds;
    const bool accepting = m_listenFd >= 0 && nowMs() >= m_acceptPausedUntilMs;
    if (accepting) fds.push_back(pollfd{m_listenFd, POLLIN, 0});
    for (const Client& client : m_clients) {
        short events = client.dropping ? 0 : POLLIN;
        if (!client.output.empty()) events |= POLLOUT;
        fds.push_back(pollfd{client.fd, events, 0});
    }
    const int ready = poll(fds.data(), fds.size(), timeoutMs < 0 ? 0 : timeoutMs);
    if (ready <= 0) return;
    size_t k = 0;
    if (accepting && (fds[k++].revents & POLLIN)) acceptClients();
    // Clients accepted just now come after the polled ones and wait for the
    // next turn.
    const size_t polled = fds.size() - k;
    for (size_t i = 0; i < polled && i < m_clients.size(); ++i) {
        const short revents = fds[k + i].revents;
        Client& client = m_clients[i];
        if (client.fd < 0) continue;  // closed to make room
        if (revents & (POLLIN | POLLHUP | POLLERR)) readFrom(client);
        if ((revents & POLLOUT) || !client.output.empty()) writeTo(client);
    }
    closeDropped();
}

}  // namespace nutsock
