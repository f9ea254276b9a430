// The simulator's Modbus slave side without a line: checksums, answers and
// exceptions, frame encoding, and cutting a byte stream into requests.
#include <gtest/gtest.h>

#include "slave_protocol.h"

using namespace upssim;

namespace {

Bytes rtu(Bytes frame) {
    uint16_t crc = crc16(frame.data(), frame.size());
    frame.push_back((uint8_t)(crc & 0xFF));
    frame.push_back((uint8_t)(crc >> 8));
    return frame;
}

Bytes cat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Bytes text(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

Bytes readRequest(uint16_t start, uint16_t count) {
    return {3, (uint8_t)(start >> 8), (uint8_t)start, (uint8_t)(count >> 8), (uint8_t)count};
}

Bytes writeRequest(uint16_t start, const std::vector<uint16_t>& values) {
    Bytes pdu{16, (uint8_t)(start >> 8),  (uint8_t)start,
              0,  (uint8_t)values.size(), (uint8_t)(2 * values.size())};
    for (uint16_t v : values) {
        pdu.push_back((uint8_t)(v >> 8));
        pdu.push_back((uint8_t)v);
    }
    return pdu;
}

}  // namespace

TEST(Checksums, KnownFrames) {
    const Bytes request{1, 3, 0, 0, 0, 3};
    EXPECT_EQ(crc16(request.data(), request.size()), 0xCB05);
    EXPECT_EQ(lrc(request.data(), request.size()), 0xF9);
    Bytes whole = rtu(request);
    EXPECT_EQ(crc16(whole.data(), whole.size()), 0);
}

TEST(Encoding, RtuAndAscii) {
    EXPECT_EQ(encodeFrame(Framing::Rtu, 1, {3, 0, 0, 0, 3}), (Bytes{1, 3, 0, 0, 0, 3, 0x05, 0xCB}));
    EXPECT_EQ(encodeFrame(Framing::Ascii, 1, {3, 0, 0, 0, 3}), text(":010300000003F9\r\n"));
    // Upper-case hex digits only.
    EXPECT_EQ(encodeFrame(Framing::Ascii, 1, {3, 2, 0, 0xAB}), text(":01030200AB4F\r\n"));

    Bytes bad = encodeFrame(Framing::Rtu, 1, {3, 0, 0, 0, 3}, true);
    ASSERT_EQ(bad.size(), 8u);
    EXPECT_NE(crc16(bad.data(), bad.size()), 0);
    EXPECT_EQ(encodeFrame(Framing::Ascii, 1, {3, 0, 0, 0, 3}, true), text(":010300000003FA\r\n"));
}

TEST(Answers, ReadHoldingRegisters) {
    RegisterBank bank(Identity{301, 7, 9});
    Bytes a = processPdu(bank, readRequest(0, 3));
    EXPECT_EQ(a, (Bytes{3, 6, 0x01, 0x2D, 0, 7, 0, 9}));

    a = processPdu(bank, readRequest(0, 50));
    ASSERT_EQ(a.size(), 102u);
    EXPECT_EQ(a[1], 100);
    auto word = [&](int n) { return a[2 + 2 * n] << 8 | a[3 + 2 * n]; };
    EXPECT_EQ(word(reg::InputVoltage), 24000);
    EXPECT_EQ(word(reg::PowerSource), 1);
    EXPECT_EQ(word(reg::DcOk), 1);

    // The last registers of the bank and a full-size read.
    EXPECT_EQ(processPdu(bank, readRequest(199, 1)).size(), 4u);
    EXPECT_EQ(processPdu(bank, readRequest(0, 125)).size(), 252u);
}

TEST(Answers, WriteMultipleRegisters) {
    RegisterBank bank;
    EXPECT_EQ(processPdu(bank, writeRequest(40, {0x1234, 0xFFFF})), (Bytes{16, 0, 40, 0, 2}));
    EXPECT_EQ(bank.value(40), 0x1234);
    EXPECT_EQ(bank.value(41), 0xFFFF);
}

TEST(Answers, Exceptions) {
    RegisterBank bank;
    // Unknown function codes: 01.
    EXPECT_EQ(processPdu(bank, {4, 0, 0, 0, 1}), (Bytes{0x84, 1}));
    EXPECT_EQ(processPdu(bank, {6, 0, 40, 0, 1}), (Bytes{0x86, 1}));
    // Bad counts and malformed requests: 03.
    EXPECT_EQ(processPdu(bank, readRequest(0, 0)), (Bytes{0x83, 3}));
    EXPECT_EQ(processPdu(bank, readRequest(0, 126)), (Bytes{0x83, 3}));
    EXPECT_EQ(processPdu(bank, {3, 0, 0, 0}), (Bytes{0x83, 3}));
    Bytes badByteCount = writeRequest(40, {1, 2});
    badByteCount[5] = 3;
    EXPECT_EQ(processPdu(bank, badByteCount), (Bytes{0x90, 3}));
    // Outside the bank: 02.
    EXPECT_EQ(processPdu(bank, readRequest(200, 1)), (Bytes{0x83, 2}));
    EXPECT_EQ(processPdu(bank, readRequest(150, 51)), (Bytes{0x83, 2}));
    EXPECT_EQ(processPdu(bank, readRequest(0xFFFF, 1)), (Bytes{0x83, 2}));
    EXPECT_EQ(processPdu(bank, writeRequest(199, {1, 2})), (Bytes{0x90, 2}));
}

TEST(Answers, WriteToReadOnlyRegisterChangesNothing) {
    RegisterBank bank;
    // 34 is read-only, 36 writable: the whole write is refused.
    EXPECT_EQ(processPdu(bank, writeRequest(34, {5, 5, 5})), (Bytes{0x90, 2}));
    EXPECT_EQ(bank.value(34), 1);
    EXPECT_EQ(bank.value(36), 0);
    EXPECT_EQ(processPdu(bank, writeRequest(reg::DeviceType, {1})), (Bytes{0x90, 2}));
    EXPECT_EQ(bank.value(reg::DeviceType), 302);
}

TEST(RtuReceiver, RequestEndsOnItsLengthAndCrc) {
    RtuReceiver rx(10000);
    std::vector<Frame> out;
    Bytes read = rtu({1, 3, 0, 0, 0, 50});
    rx.feed(read.data(), 5, 0, &out);
    EXPECT_TRUE(out.empty());
    rx.feed(read.data() + 5, 3, 100, &out);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].slave, 1);
    EXPECT_EQ(out[0].pdu, readRequest(0, 50));
    EXPECT_EQ(rx.deadlineUs(), INT64_MAX);

    // A write is 9 + byte count long; two requests back to back are both found.
    out.clear();
    Bytes both = rtu(cat({2}, writeRequest(40, {7, 8, 9})));
    Bytes second = rtu({2, 3, 0, 36, 0, 3});
    both.insert(both.end(), second.begin(), second.end());
    rx.feed(both.data(), both.size(), 200, &out);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0].pdu, writeRequest(40, {7, 8, 9}));
    EXPECT_EQ(out[1].pdu, (Bytes{3, 0, 36, 0, 3}));
    EXPECT_EQ(rx.discarded(), 0u);
}

TEST(RtuReceiver, GarbageIsDroppedAtGapsAndBeforeRequests) {
    RtuReceiver rx(10000);
    std::vector<Frame> out;
    Bytes line{0xFF, 0x00, 0x42};
    Bytes read = rtu({1, 3, 0, 16, 0, 2});
    line.insert(line.end(), read.begin(), read.end());
    rx.feed(line.data(), line.size(), 0, &out);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].pdu, readRequest(16, 2));
    EXPECT_EQ(rx.discarded(), 3u);

    // A request with a bad CRC waits for the gap and is dropped there.
    out.clear();
    Bytes bad = read;
    bad[7] ^= 1;
    rx.feed(bad.data(), bad.size(), 1000, &out);
    EXPECT_EQ(rx.deadlineUs(), 11000);
    rx.idle(10999, &out);
    EXPECT_TRUE(out.empty());
    rx.idle(11000, &out);
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(rx.discarded(), 11u);
    EXPECT_EQ(rx.deadlineUs(), INT64_MAX);

    // Half a request, a gap, the other half: neither half makes a request.
    rx.feed(read.data(), 4, 20000, &out);
    rx.feed(read.data() + 4, 4, 40000, &out);
    rx.idle(60000, &out);
    EXPECT_TRUE(out.empty());
}

TEST(RtuReceiver, OtherFunctionCodesEndAtTheGap) {
    RtuReceiver rx(10000);
    std::vector<Frame> out;
    Bytes junkThenRequest{0x13, 0x37};
    Bytes req = rtu({1, 6, 0, 40, 0, 1});
    junkThenRequest.insert(junkThenRequest.end(), req.begin(), req.end());
    rx.feed(junkThenRequest.data(), junkThenRequest.size(), 0, &out);
    EXPECT_TRUE(out.empty());
    rx.idle(10000, &out);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].pdu, (Bytes{6, 0, 40, 0, 1}));
}

TEST(AsciiReceiver, Frames) {
    AsciiReceiver rx;
    std::vector<Frame> out;
    Bytes line = text("\xFF junk :010300000003F9\r\n");
    rx.feed(line.data(), line.size(), 0, &out);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].slave, 1);
    EXPECT_EQ(out[0].pdu, readRequest(0, 3));

    // Lower-case digits are accepted; a second colon restarts the frame.
    out.clear();
    line = text(":0103:01030200ab4f\r\n");
    rx.feed(line.data(), 5, 0, &out);
    rx.feed(line.data() + 5, line.size() - 5, 0, &out);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].pdu, (Bytes{3, 2, 0, 0xAB}));

    // Bad LRC, odd digit count, a non-hex character, something between CR and LF: dropped.
    out.clear();
    for (const char* bad : {":010300000003F8\r\n", ":010300000003F\r\n", ":01030000000GF9\r\n",
                            ":010300000003F9\rx\n"}) {
        line = text(bad);
        rx.feed(line.data(), line.size(), 0, &out);
    }
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(rx.deadlineUs(), INT64_MAX);
}
