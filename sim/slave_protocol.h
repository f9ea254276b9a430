// The slave side of Modbus RTU and ASCII, free of any I/O: checksums, answer
// PDUs for Read Holding Registers (3) and Write Multiple Registers (16), frame
// encoding, and receivers that cut a byte stream into request frames.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

#include "register_bank.h"

namespace upssim {

using Bytes = std::vector<uint8_t>;

enum class Framing { Rtu, Ascii };

constexpr uint8_t kBroadcastAddress = 0;
constexpr uint8_t kMaxSlaveAddress = 247;

enum ExceptionCode : uint8_t {
    IllegalFunction = 1,
    IllegalDataAddress = 2,
    IllegalDataValue = 3,
};

// CRC-16/MODBUS (reflected 0xA001, start 0xFFFF), sent low byte first.
uint16_t crc16(const uint8_t* data, size_t length);
// Modbus ASCII LRC: two's complement of the 8-bit sum.
uint8_t lrc(const uint8_t* data, size_t length);

Bytes exceptionPdu(uint8_t function, uint8_t code);

// Carries out one request PDU on the bank and returns the answer PDU.
// Function 3: count 1..125 (else 03), the whole range must exist (else 02).
// Function 16: count 1..123 and byte count = 2 * count (else 03), the whole
// range must exist and be writable (else 02; nothing is written then).
// Any other function: 01.
Bytes processPdu(RegisterBank& bank, const Bytes& request);

// Frames a PDU for the line. With corruptChecksum the CRC (RTU) or LRC (ASCII)
// is deliberately wrong.
Bytes encodeFrame(Framing framing, uint8_t slave, const Bytes& pdu, bool corruptChecksum = false);

struct Frame {
    uint8_t slave = 0;
    Bytes pdu;
};

// Cuts received bytes into verified request frames; garbage is dropped.
class RequestReceiver {
public:
    virtual ~RequestReceiver() = default;
    // Bytes received at nowUs (monotonic microseconds); complete frames go to out.
    virtual void feed(const uint8_t* data, size_t length, int64_t nowUs,
                      std::vector<Frame>* out) = 0;
    // Called when nothing arrived; ends a frame at a silent gap.
    virtual void idle(int64_t nowUs, std::vector<Frame>* out) = 0;
    // When idle() has something to do, or INT64_MAX.
    virtual int64_t deadlineUs() const = 0;
    // Bytes thrown away as garbage so far.
    virtual uint64_t discarded() const = 0;
};

// RTU: a request ends at its last byte when its CRC is right and its length
// fits the function code (8 bytes for 3, 9 + byte count for 16); garbage in
// front of it is dropped. Any other frame ends at a silent gap of gapUs; at the
// gap the longest tail with a correct CRC (at least 4 bytes) is taken as a
// frame and everything else is dropped.
class RtuReceiver : public RequestReceiver {
public:
    explicit RtuReceiver(int64_t gapUs) : gapUs_(gapUs) {}
    void feed(const uint8_t* data, size_t length, int64_t nowUs, std::vector<Frame>* out) override;
    void idle(int64_t nowUs, std::vector<Frame>* out) override;
    int64_t deadlineUs() const override;
    uint64_t discarded() const override { return discarded_; }

private:
    bool takeKnownFrame(std::vector<Frame>* out);
    void deliver(size_t start, size_t length, std::vector<Frame>* out);

    static constexpr size_t kMaxFrame = 256;
    int64_t gapUs_;
    int64_t lastByteUs_ = 0;
    Bytes buffer_;
    uint64_t discarded_ = 0;
};

// ASCII: a colon starts a frame (dropping anything before it), CR LF ends it;
// hex digits of either case are accepted; a frame with a bad LRC, an odd number
// of digits or a stray character is dropped.
class AsciiReceiver : public RequestReceiver {
public:
    void feed(const uint8_t* data, size_t length, int64_t nowUs, std::vector<Frame>* out) override;
    void idle(int64_t, std::vector<Frame>*) override {}
    int64_t deadlineUs() const override;
    uint64_t discarded() const override { return discarded_; }

private:
    void finishLine(std::vector<Frame>* out);

    static constexpr size_t kMaxChars = 2 * 256;
    bool inFrame_ = false;
    bool sawCr_ = false;
    std::string text_;
    uint64_t discarded_ = 0;
};

}  // namespace upssim
