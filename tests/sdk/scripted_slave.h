// A scripted Modbus slave for the end-to-end tests: a thread on the master side
// of a PtyPair that waits for each request, records it and answers with the
// bytes its script gives (possibly in pieces with pauses, or not at all).
#pragma once

#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "QXUPSSDK.h"
#include "pty_pair.h"

namespace testing_support {

using Bytes = std::vector<uint8_t>;

inline Bytes bytesOf(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

// Modbus ASCII frame of the given bytes: colon, upper-case hex, LRC, CR LF.
inline std::string asciiFrame(const Bytes& bytes) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out = ":";
    uint8_t sum = 0;
    Bytes all = bytes;
    for (uint8_t b : bytes)
        sum = (uint8_t)(sum + b);
    all.push_back((uint8_t)(-sum));
    for (uint8_t b : all) {
        out += kHex[b >> 4];
        out += kHex[b & 0x0F];
    }
    return out + "\r\n";
}

// Normal answer to a Read Holding Registers request.
inline Bytes readAnswer(uint8_t slave, const std::vector<uint16_t>& values) {
    Bytes pdu = {slave, 3, (uint8_t)(2 * values.size())};
    for (uint16_t v : values) {
        pdu.push_back((uint8_t)(v >> 8));
        pdu.push_back((uint8_t)(v & 0xFF));
    }
    return pdu;
}

// Read or write request / echo header: slave, function, address, count.
inline Bytes header(uint8_t slave, uint8_t function, uint16_t address, uint16_t count) {
    return {slave,
            function,
            (uint8_t)(address >> 8),
            (uint8_t)(address & 0xFF),
            (uint8_t)(count >> 8),
            (uint8_t)(count & 0xFF)};
}

inline Bytes identification(uint8_t slave, uint16_t type, uint16_t hw, uint16_t fw) {
    return readAnswer(slave, {type, hw, fw});
}

// Sizes of the requests the library sends.
const size_t kRtuReadRequest = 8;
const size_t kAsciiReadRequest = 17;  // ":" + 7 bytes and LRC in hex + CR LF
inline size_t rtuWriteRequest(size_t count) {
    return 9 + 2 * count;
}
inline size_t asciiWriteRequest(size_t count) {
    return 1 + 2 * (8 + 2 * count) + 2;
}

class ScriptedSlave {
public:
    struct Step {
        size_t expect;             // request bytes to wait for
        std::vector<Bytes> reply;  // written in order, pauseMs apart; empty: stay silent
        int pauseMs;
    };

    explicit ScriptedSlave(PtyPair& pty) : m_pty(pty) {}
    ~ScriptedSlave() { join(); }
    ScriptedSlave(const ScriptedSlave&) = delete;
    ScriptedSlave& operator=(const ScriptedSlave&) = delete;

    ScriptedSlave& answer(size_t expect, Bytes reply) {
        m_steps.push_back({expect, {std::move(reply)}, 0});
        return *this;
    }
    ScriptedSlave& answer(size_t expect, const std::string& reply) {
        return answer(expect, bytesOf(reply));
    }
    // Answers in pieces with a pause before each further piece.
    ScriptedSlave& answerInPieces(size_t expect, std::vector<Bytes> pieces, int pauseMs) {
        m_steps.push_back({expect, std::move(pieces), pauseMs});
        return *this;
    }
    ScriptedSlave& silent(size_t expect) {
        m_steps.push_back({expect, {}, 0});
        return *this;
    }
    // The same answer to `times` requests.
    ScriptedSlave& repeat(size_t expect, const Bytes& reply, int times) {
        for (int i = 0; i < times; ++i)
            answer(expect, reply);
        return *this;
    }

    ScriptedSlave& start(int requestTimeoutMs = 5000) {
        m_thread = std::thread([this, requestTimeoutMs] { run(requestTimeoutMs); });
        return *this;
    }
    void join() {
        if (m_thread.joinable())
            m_thread.join();
    }

    // Requests received so far (complete or not), in order.
    std::vector<Bytes> requests() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_requests;
    }
    Bytes request(size_t i) {
        std::vector<Bytes> all = requests();
        return i < all.size() ? all[i] : Bytes();
    }

private:
    void run(int requestTimeoutMs) {
        for (const Step& step : m_steps) {
            Bytes got = readExactly(step.expect, requestTimeoutMs);
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                m_requests.push_back(got);
            }
            if (got.size() < step.expect)
                return;  // the master gave up: stop the script
            for (size_t i = 0; i < step.reply.size(); ++i) {
                if (i > 0 && step.pauseMs > 0) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(step.pauseMs));
                }
                m_pty.write(step.reply[i]);
            }
        }
    }

    // Reads no more than one request, even when the next is already queued
    // behind it (a broadcast is followed at once by the next request).
    Bytes readExactly(size_t count, int timeoutMs) {
        Bytes got;
        uint64_t deadline = nowMs() + timeoutMs;
        while (got.size() < count) {
            uint64_t now = nowMs();
            if (now >= deadline)
                break;
            uint8_t buf[512];
            size_t want = count - got.size() < sizeof buf ? count - got.size() : sizeof buf;
            int n = m_pty.readSome(buf, want, (int)(deadline - now));
            if (n > 0) {
                got.insert(got.end(), buf, buf + n);
            } else if (n < 0) {
                break;
            }
        }
        return got;
    }

    PtyPair& m_pty;
    std::vector<Step> m_steps;
    std::thread m_thread;
    std::mutex m_mutex;
    std::vector<Bytes> m_requests;
};

// A descriptor for a pty-backed port at 115200 baud, no parity.
inline UPS_DeviceDescriptor makeDescriptor(uint8_t port, uint8_t framing = 0, uint8_t slave = 1,
                                           uint32_t timeoutMs = 1000) {
    UPS_DeviceDescriptor d = {};
    d.framing = framing;
    d.portNumber = port;
    d.slaveAddress = slave;
    d.baudRate = 115200;
    d.responseTimeoutMs = timeoutMs;
    d.lastResult = -1;
    return d;
}

}  // namespace testing_support
