#include "slave_protocol.h"

#include <stdint.h>

namespace upssim {

uint16_t crc16(const uint8_t* data, size_t length) {
    uint16_t crc = 0xFFFF;
    for (size_t i = 0; i < length; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? (uint16_t)((crc >> 1) ^ 0xA001) : (uint16_t)(crc >> 1);
    }
    return crc;
}

uint8_t lrc(const uint8_t* data, size_t length) {
    uint8_t sum = 0;
    for (size_t i = 0; i < length; ++i)
        sum = (uint8_t)(sum + data[i]);
    return (uint8_t)(-sum);
}

Bytes exceptionPdu(uint8_t function, uint8_t code) {
    return Bytes{(uint8_t)(function | 0x80), code};
}

namespace {

uint16_t word(const Bytes& b, size_t at) {
    return (uint16_t)(b[at] << 8 | b[at + 1]);
}

void putWord(Bytes* b, uint16_t v) {
    b->push_back((uint8_t)(v >> 8));
    b->push_back((uint8_t)(v & 0xFF));
}

Bytes readHolding(const RegisterBank& bank, const Bytes& req) {
    const uint8_t fc = 3;
    if (req.size() != 5)
        return exceptionPdu(fc, IllegalDataValue);
    uint16_t start = word(req, 1);
    uint16_t count = word(req, 3);
    if (count < 1 || count > 125)
        return exceptionPdu(fc, IllegalDataValue);
    if (!bank.exists(start, count))
        return exceptionPdu(fc, IllegalDataAddress);
    Bytes answer{fc, (uint8_t)(2 * count)};
    for (uint32_t a = start; a < (uint32_t)start + count; ++a)
        putWord(&answer, bank.value(a));
    return answer;
}

Bytes writeMultiple(RegisterBank& bank, const Bytes& req) {
    const uint8_t fc = 16;
    if (req.size() < 6)
        return exceptionPdu(fc, IllegalDataValue);
    uint16_t start = word(req, 1);
    uint16_t count = word(req, 3);
    uint8_t byteCount = req[5];
    if (count < 1 || count > 123 || byteCount != 2 * count || req.size() != 6u + byteCount)
        return exceptionPdu(fc, IllegalDataValue);
    if (!bank.exists(start, count))
        return exceptionPdu(fc, IllegalDataAddress);
    for (uint32_t a = start; a < (uint32_t)start + count; ++a) {
        if (!bank.writable(a))
            return exceptionPdu(fc, IllegalDataAddress);
    }
    for (uint32_t i = 0; i < count; ++i)
        bank.setValue(start + i, word(req, 6 + 2 * i));
    Bytes answer{fc};
    putWord(&answer, start);
    putWord(&answer, count);
    return answer;
}

const char kHex[] = "0123456789ABCDEF";

int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

}  // namespace

Bytes processPdu(RegisterBank& bank, const Bytes& request) {
    if (request.empty())
        return exceptionPdu(0, IllegalFunction);
    switch (request[0]) {
        case 3:
            return readHolding(bank, request);
        case 16:
            return writeMultiple(bank, request);
        default:
            return exceptionPdu(request[0], IllegalFunction);
    }
}

Bytes encodeFrame(Framing framing, uint8_t slave, const Bytes& pdu, bool corruptChecksum) {
    Bytes frame;
    frame.reserve(pdu.size() + 3);
    frame.push_back(slave);
    frame.insert(frame.end(), pdu.begin(), pdu.end());
    if (framing == Framing::Rtu) {
        uint16_t crc = crc16(frame.data(), frame.size());
        if (corruptChecksum)
            crc ^= 0xFFFF;
        frame.push_back((uint8_t)(crc & 0xFF));
        frame.push_back((uint8_t)(crc >> 8));
        return frame;
    }
    uint8_t check = lrc(frame.data(), frame.size());
    if (corruptChecksum)
        check = (uint8_t)(check + 1);
    frame.push_back(check);
    Bytes text;
    text.reserve(2 * frame.size() + 3);
    text.push_back(':');
    for (uint8_t b : frame) {
        text.push_back((uint8_t)kHex[b >> 4]);
        text.push_back((uint8_t)kHex[b & 0x0F]);
    }
    text.push_back('\r');
    text.push_back('\n');
    return text;
}

// ---- RTU receiver ---------------------------------------------------------

namespace {

// Length of the request that starts at p (n bytes available), 0 when it
// cannot be known from its first bytes (yet or at all).
size_t knownRequestLength(const uint8_t* p, size_t n) {
    if (n < 2)
        return 0;
    if (p[1] == 3)
        return 8;
    if (p[1] == 16 && n >= 7)
        return 9u + p[6];
    return 0;
}

}  // namespace

void RtuReceiver::deliver(size_t start, size_t length, std::vector<Frame>* out) {
    Frame f;
    f.slave = buffer_[start];
    f.pdu.assign(buffer_.begin() + (ptrdiff_t)start + 1,
                 buffer_.begin() + (ptrdiff_t)(start + length - 2));
    out->push_back(std::move(f));
    discarded_ += start;
    buffer_.erase(buffer_.begin(), buffer_.begin() + (ptrdiff_t)(start + length));
}

// Looks for a function 3 or 16 request that ends exactly at the newest byte.
bool RtuReceiver::takeKnownFrame(std::vector<Frame>* out) {
    for (size_t start = 0; start + 4 <= buffer_.size(); ++start) {
        const uint8_t* p = buffer_.data() + start;
        size_t available = buffer_.size() - start;
        size_t need = knownRequestLength(p, available);
        if (need != 0 && need == available && crc16(p, need) == 0) {
            deliver(start, need, out);
            return true;
        }
    }
    return false;
}

void RtuReceiver::feed(const uint8_t* data, size_t length, int64_t nowUs, std::vector<Frame>* out) {
    if (length == 0)
        return;
    // Bytes after a silent gap start afresh.
    idle(nowUs, out);
    for (size_t i = 0; i < length; ++i) {
        if (buffer_.size() == kMaxFrame) {
            buffer_.erase(buffer_.begin());
            ++discarded_;
        }
        buffer_.push_back(data[i]);
        takeKnownFrame(out);
    }
    lastByteUs_ = nowUs;
}

void RtuReceiver::idle(int64_t nowUs, std::vector<Frame>* out) {
    if (buffer_.empty() || nowUs - lastByteUs_ < gapUs_)
        return;
    for (size_t start = 0; start + 4 <= buffer_.size(); ++start) {
        if (crc16(buffer_.data() + start, buffer_.size() - start) == 0) {
            deliver(start, buffer_.size() - start, out);
            return;
        }
    }
    discarded_ += buffer_.size();
    buffer_.clear();
}

int64_t RtuReceiver::deadlineUs() const {
    return buffer_.empty() ? INT64_MAX : lastByteUs_ + gapUs_;
}

// ---- ASCII receiver -------------------------------------------------------

void AsciiReceiver::finishLine(std::vector<Frame>* out) {
    Bytes bytes;
    bool good = text_.size() >= 6 && text_.size() % 2 == 0;
    for (size_t i = 0; good && i < text_.size(); i += 2) {
        int hi = hexValue(text_[i]);
        int lo = hexValue(text_[i + 1]);
        good = hi >= 0 && lo >= 0;
        bytes.push_back((uint8_t)(hi << 4 | lo));
    }
    if (good && lrc(bytes.data(), bytes.size()) == 0) {
        Frame f;
        f.slave = bytes[0];
        f.pdu.assign(bytes.begin() + 1, bytes.end() - 1);
        out->push_back(std::move(f));
    } else {
        discarded_ += text_.size() + 3;
    }
    text_.clear();
    inFrame_ = false;
    sawCr_ = false;
}

void AsciiReceiver::feed(const uint8_t* data, size_t length, int64_t, std::vector<Frame>* out) {
    for (size_t i = 0; i < length; ++i) {
        char c = (char)data[i];
        if (c == ':') {
            if (inFrame_)
                discarded_ += text_.size() + 1;
            inFrame_ = true;
            sawCr_ = false;
            text_.clear();
        } else if (!inFrame_) {
            ++discarded_;
        } else if (sawCr_) {
            if (c == '\n') {
                finishLine(out);
            } else {
                discarded_ += text_.size() + 3;
                text_.clear();
                inFrame_ = false;
                sawCr_ = false;
            }
        } else if (c == '\r') {
            sawCr_ = true;
        } else if (text_.size() < kMaxChars) {
            text_.push_back(c);
        } else {
            discarded_ += text_.size() + 2;
            text_.clear();
            inFrame_ = false;
        }
    }
}

int64_t AsciiReceiver::deadlineUs() const {
    return INT64_MAX;
}

}  // namespace upssim
