// A pseudo-terminal pair for the tests: the library opens the slave side
// through QXUPS_COM<N>; the test plays the Modbus slave on the master side.
//
// In the Windows build (run under Wine) the pair is made on the Linux side by
// scripts/wine_pty_bridge.py: the test connects to it over TCP (the port in
// QXUPS_PTY_BRIDGE), names the COM number, and the bridge maps that number to
// a new pseudo terminal in the Wine prefix and relays the master side's bytes
// over the connection. The library opens \\.\COM<N> as on Windows.
#pragma once

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>
#endif
#include <errno.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace testing_support {

inline uint16_t crc16(const uint8_t* p, size_t n) {
    uint16_t crc = 0xFFFF;
    for (size_t i = 0; i < n; ++i) {
        crc ^= p[i];
        for (int b = 0; b < 8; ++b)
            crc = (crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1;
    }
    return crc;
}

// Appends the CRC, low byte first.
inline std::vector<uint8_t> withCrc(std::vector<uint8_t> frame) {
    uint16_t crc = crc16(frame.data(), frame.size());
    frame.push_back(crc & 0xFF);
    frame.push_back(crc >> 8);
    return frame;
}

inline uint64_t nowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

#ifdef _WIN32
// The test's end of a bridged pseudo terminal (see the top of this file).
class PtyLine {
public:
    explicit PtyLine(unsigned portNumber) {
        WSADATA data;
        if (WSAStartup(MAKEWORD(2, 2), &data) != 0) return;
        m_started = true;
        const char* port = getenv("QXUPS_PTY_BRIDGE");
        if (port == nullptr) return;
        SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        if (s == INVALID_SOCKET) return;
        sockaddr_in to = {};
        to.sin_family = AF_INET;
        to.sin_port = htons((u_short)atoi(port));
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        BOOL one = TRUE;
        setsockopt(s, IPPROTO_TCP, TCP_NODELAY, (const char*)&one, sizeof one);
        const std::string hello = std::to_string(portNumber) + "\n";
        char reply[8] = {0};
        int got = 0;
        if (connect(s, (sockaddr*)&to, sizeof to) == 0 &&
            send(s, hello.data(), (int)hello.size(), 0) == (int)hello.size()) {
            // "ok\n" once the pseudo terminal is mapped as COM<N>.
            while (got < 3) {
                int n = recv(s, reply + got, 3 - got, 0);
                if (n <= 0) break;
                got += n;
            }
        }
        if (got != 3 || memcmp(reply, "ok\n", 3) != 0) {
            closesocket(s);
            return;
        }
        m_socket = s;
        m_path = "COM" + std::to_string(portNumber);
    }
    ~PtyLine() {
        if (m_socket != INVALID_SOCKET) closesocket(m_socket);
        if (m_started) WSACleanup();
    }
    bool ok() const { return m_socket != INVALID_SOCKET; }
    const std::string& path() const { return m_path; }

    // Up to `want` bytes within timeoutMs: the count, 0 when none came, -1
    // when the line is gone.
    int readSome(uint8_t* buf, size_t want, int timeoutMs) {
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(m_socket, &readable);
        timeval tv = {timeoutMs / 1000, (timeoutMs % 1000) * 1000};
        int rc = select(0, &readable, nullptr, nullptr, &tv);
        if (rc <= 0) return rc < 0 ? -1 : 0;
        int n = recv(m_socket, (char*)buf, (int)want, 0);
        return n > 0 ? n : -1;
    }
    // Bytes written, or -1.
    int writeSome(const uint8_t* p, size_t n) {
        int w = send(m_socket, (const char*)p, (int)n, 0);
        return w > 0 ? w : -1;
    }

private:
    bool m_started = false;
    SOCKET m_socket = INVALID_SOCKET;
    std::string m_path;
};
#else
class PtyLine {
public:
    // Maps port number `portNumber` to the slave side of a new pair.
    explicit PtyLine(unsigned portNumber) : m_portNumber(portNumber) {
        char name[128] = {0};
        if (openpty(&m_master, &m_slave, name, nullptr, nullptr) != 0) return;
        struct termios tio;
        tcgetattr(m_slave, &tio);
        cfmakeraw(&tio);
        tcsetattr(m_slave, TCSANOW, &tio);
        tcgetattr(m_master, &tio);
        cfmakeraw(&tio);
        tcsetattr(m_master, TCSANOW, &tio);
        fcntl(m_master, F_SETFL, fcntl(m_master, F_GETFL) | O_NONBLOCK);
        fcntl(m_master, F_SETFD, FD_CLOEXEC);
        fcntl(m_slave, F_SETFD, FD_CLOEXEC);
        m_path = name;
        setenv(envName().c_str(), m_path.c_str(), 1);
    }
    ~PtyLine() {
        unsetenv(envName().c_str());
        if (m_master >= 0) close(m_master);
        if (m_slave >= 0) close(m_slave);
    }

    bool ok() const { return m_master >= 0; }
    int master() const { return m_master; }
    // The test's own descriptor of the slave side (the library opens its own).
    int slave() const { return m_slave; }
    const std::string& path() const { return m_path; }
    std::string envName() const { return "QXUPS_COM" + std::to_string(m_portNumber); }

    int readSome(uint8_t* buf, size_t want, int timeoutMs) {
        struct pollfd pfd = {m_master, POLLIN, 0};
        int rc = poll(&pfd, 1, timeoutMs < 0 ? 0 : timeoutMs);
        if (rc <= 0) return rc < 0 && errno != EINTR ? -1 : 0;
        ssize_t n = ::read(m_master, buf, want);
        if (n > 0) return (int)n;
        return n < 0 && (errno == EAGAIN || errno == EINTR) ? 0 : -1;
    }
    int writeSome(const uint8_t* p, size_t n) {
        ssize_t w = ::write(m_master, p, n);
        if (w > 0) return (int)w;
        struct pollfd pfd = {m_master, POLLOUT, 0};
        poll(&pfd, 1, 100);
        return 0;
    }

private:
    unsigned m_portNumber;
    int m_master = -1;
    int m_slave = -1;
    std::string m_path;
};
#endif

class PtyPair : public PtyLine {
public:
    explicit PtyPair(unsigned portNumber) : PtyLine(portNumber) {}
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    // Reads what arrives within timeoutMs, returning early once `expected` bytes
    // are in (0: read until the line is quiet for quietMs).
    std::vector<uint8_t> read(size_t expected, int timeoutMs = 2000, int quietMs = 50) {
        std::vector<uint8_t> got;
        uint64_t deadline = nowMs() + timeoutMs;
        while (nowMs() < deadline) {
            if (expected != 0 && got.size() >= expected) break;
            int wait = expected != 0 ? (int)(deadline - nowMs()) : quietMs;
            if (expected == 0 && got.empty()) wait = (int)(deadline - nowMs());
            uint8_t buf[512];
            int n = readSome(buf, sizeof buf, wait < 0 ? 0 : wait);
            if (n > 0) {
                got.insert(got.end(), buf, buf + n);
            } else if (n == 0) {
                if (expected == 0 && !got.empty()) break;
            } else {
                break;
            }
        }
        return got;
    }

    void write(const std::vector<uint8_t>& bytes) { write(bytes.data(), bytes.size()); }
    void write(const std::string& text) {
        write(reinterpret_cast<const uint8_t*>(text.data()), text.size());
    }
    void write(const uint8_t* p, size_t n) {
        size_t done = 0;
        while (done < n) {
            int w = writeSome(p + done, n - done);
            if (w < 0) break;
            done += (size_t)w;
        }
    }
    // Discards whatever the library has written so far.
    void drain() { read(0, 30, 10); }
};

}  // namespace testing_support
