// A pseudo-terminal pair for the tests: the library opens the slave side
// through QXUPS_COM<N>; the test plays the Modbus slave on the master side.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

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

class PtyPair {
public:
    // Maps port number `portNumber` to the slave side of a new pair.
    explicit PtyPair(unsigned portNumber) : m_portNumber(portNumber) {
        char name[128] = {0};
        if (openpty(&m_master, &m_slave, name, nullptr, nullptr) != 0)
            return;
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
    ~PtyPair() {
        unsetenv(envName().c_str());
        if (m_master >= 0)
            close(m_master);
        if (m_slave >= 0)
            close(m_slave);
    }
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    bool ok() const { return m_master >= 0; }
    int master() const { return m_master; }
    // The test's own descriptor of the slave side (the library opens its own).
    int slave() const { return m_slave; }
    const std::string& path() const { return m_path; }
    std::string envName() const { return "QXUPS_COM" + std::to_string(m_portNumber); }

    // Reads what arrives within timeoutMs, returning early once `expected` bytes
    // are in (0: read until the line is quiet for quietMs).
    std::vector<uint8_t> read(size_t expected, int timeoutMs = 2000, int quietMs = 50) {
        std::vector<uint8_t> got;
        uint64_t deadline = nowMs() + timeoutMs;
        while (nowMs() < deadline) {
            if (expected != 0 && got.size() >= expected)
                break;
            int wait = expected != 0 ? (int)(deadline - nowMs()) : quietMs;
            if (expected == 0 && got.empty())
                wait = (int)(deadline - nowMs());
            struct pollfd pfd = {m_master, POLLIN, 0};
            int rc = poll(&pfd, 1, wait < 0 ? 0 : wait);
            if (rc <= 0) {
                if (expected == 0 && !got.empty())
                    break;
                continue;
            }
            uint8_t buf[512];
            ssize_t n = ::read(m_master, buf, sizeof buf);
            if (n > 0)
                got.insert(got.end(), buf, buf + n);
            else if (n < 0 && errno != EAGAIN && errno != EINTR)
                break;
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
            ssize_t w = ::write(m_master, p + done, n - done);
            if (w > 0)
                done += (size_t)w;
            else {
                struct pollfd pfd = {m_master, POLLOUT, 0};
                poll(&pfd, 1, 100);
            }
        }
    }
    // Discards whatever the library has written so far.
    void drain() { read(0, 30, 10); }

private:
    unsigned m_portNumber;
    int m_master = -1;
    int m_slave = -1;
    std::string m_path;
};

}  // namespace testing_support
