// End-to-end tests of the ASCII framing through the exported functions: the
// test plays the slave on the master side of a pseudo-terminal pair.
#include <gtest/gtest.h>

#include "QXUPSSDK.h"
#include "scripted_slave.h"

using namespace testing_support;

namespace {

struct CloseAtEnd {
    UPS_DeviceDescriptor* d;
    ~CloseAtEnd() { UPS_DeviceClose(d); }
};

const char kIdentificationRequest[] = ":010300000003F9\r\n";
const char kIdentificationAnswer[] = ":010306000100020003F0\r\n";  // 1, 2, 3

std::string asciiRead(uint8_t slave, uint16_t wireAddress, uint16_t count) {
    return asciiFrame(header(slave, 3, wireAddress, count));
}

std::string text(const Bytes& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

}  // namespace

TEST(AsciiOpen, IdentificationRequestAndAnswerOnTheLine) {
    PtyPair pty(40);
    ASSERT_TRUE(pty.ok());
    ScriptedSlave slave(pty);
    slave.answer(kAsciiReadRequest, kIdentificationAnswer).start();

    UPS_DeviceDescriptor d = makeDescriptor(40, 1);
    CloseAtEnd closer{&d};
    UPS_DeviceInfo info = {};
    ASSERT_EQ(UPS_DeviceOpen(&d, &info), Success);
    slave.join();
    EXPECT_EQ(text(slave.request(0)), kIdentificationRequest);
    EXPECT_EQ(info.deviceType, 1);
    EXPECT_EQ(info.hardwareVersion, 2);
    EXPECT_EQ(info.firmwareVersion, 3);
    EXPECT_EQ(info.driverVersion, 1000);
}

TEST(AsciiAnswers, OnlyUpperCaseHexDigitsDecode) {
    PtyPair pty(41);
    ASSERT_TRUE(pty.ok());
    ScriptedSlave slave(pty);
    slave.answer(kAsciiReadRequest, kIdentificationAnswer)
        .answer(kAsciiReadRequest, ":01030200AB4F\r\n")
        .answer(kAsciiReadRequest, ":01030200ab4F\r\n")
        .start();

    UPS_DeviceDescriptor d = makeDescriptor(41, 1);
    CloseAtEnd closer{&d};
    ASSERT_EQ(UPS_DeviceOpen(&d, nullptr), Success);
    uint16_t v = 0;
    EXPECT_EQ(UPS_ReadRegisters(&d, 40000, 1, &v), Success);
    EXPECT_EQ(v, 171);
    v = 0x5A5A;
    EXPECT_EQ(UPS_ReadRegisters(&d, 40000, 1, &v), IoError);
    EXPECT_EQ(v, 0x5A5A);
    EXPECT_EQ(d.lastResult, IoError);
    slave.join();
    EXPECT_EQ(text(slave.request(1)), asciiRead(1, 0, 1));
}

TEST(AsciiAnswers, ColonStartsTheFrameAfresh) {
    PtyPair pty(42);
    ASSERT_TRUE(pty.ok());
    ScriptedSlave slave(pty);
    // A fragment, then after a pause the whole answer: the fragment is dropped.
    slave
        .answerInPieces(kAsciiReadRequest, {bytesOf(":0103"), bytesOf(kIdentificationAnswer)}, 50)
        // Noise before the colon is ignored; a colon after CR restarts too.
        .answer(kAsciiReadRequest, "\x7f?:01030200AB\r:01030200AB4F\r\n")
        .start();

    UPS_DeviceDescriptor d = makeDescriptor(42, 1);
    CloseAtEnd closer{&d};
    UPS_DeviceInfo info = {};
    ASSERT_EQ(UPS_DeviceOpen(&d, &info), Success);
    EXPECT_EQ(info.deviceType, 1);
    EXPECT_EQ(info.hardwareVersion, 2);
    EXPECT_EQ(info.firmwareVersion, 3);
    uint16_t v = 0;
    EXPECT_EQ(UPS_ReadRegisters(&d, 40000, 1, &v), Success);
    EXPECT_EQ(v, 171);
}

TEST(AsciiAnswers, AnswerWithoutLineEndFailsAtTheEarlierTimeout) {
    PtyPair pty(43);
    ASSERT_TRUE(pty.ok());
    {
        // Response time-out 8000 ms: the 1000 ms inter-character time-out ends it.
        ScriptedSlave slave(pty);
        slave.answer(kAsciiReadRequest, kIdentificationAnswer)
            .answer(kAsciiReadRequest, ":01030200AB4F")
            .answer(kAsciiReadRequest, ":01030200AB4F\r\n")
            .start();
        UPS_DeviceDescriptor d = makeDescriptor(43, 1, 1, 8000);
        CloseAtEnd closer{&d};
        ASSERT_EQ(UPS_DeviceOpen(&d, nullptr), Success);
        uint16_t v = 0;
        uint64_t t0 = nowMs();
        EXPECT_EQ(UPS_ReadRegisters(&d, 40000, 1, &v), IoError);
        uint64_t elapsed = nowMs() - t0;
        EXPECT_GE(elapsed, 900u);
        EXPECT_LE(elapsed, 3000u);
        // The receiver starts clean for the next request.
        EXPECT_EQ(UPS_ReadRegisters(&d, 40000, 1, &v), Success);
        EXPECT_EQ(v, 171);
    }
    {
        // Response time-out 200 ms: it comes first.
        ScriptedSlave slave(pty);
        slave.answer(kAsciiReadRequest, kIdentificationAnswer)
            .answer(kAsciiReadRequest, ":01030200AB4F")
            .start();
        UPS_DeviceDescriptor d = makeDescriptor(43, 1, 1, 200);
        CloseAtEnd closer{&d};
        ASSERT_EQ(UPS_DeviceOpen(&d, nullptr), Success);
        uint16_t v = 0;
        uint64_t t0 = nowMs();
        EXPECT_EQ(UPS_ReadRegisters(&d, 40000, 1, &v), TimedOut);
        uint64_t elapsed = nowMs() - t0;
        EXPECT_GE(elapsed, 150u);
        EXPECT_LE(elapsed, 2000u);
    }
}

TEST(AsciiRequests, WriteExceptionsAndSpoiltAnswers) {
    PtyPair pty(44);
    ASSERT_TRUE(pty.ok());
    const Bytes writeRequest = {0x01, 0x10, 0x00, 0x14, 0x00, 0x01, 0x02, 0xBE, 0xEF};
    std::string badLrc = asciiFrame(readAnswer(1, {171}));
    badLrc[badLrc.size() - 3] ^= 0x01;  // last LRC digit
    ScriptedSlave slave(pty);
    slave.answer(kAsciiReadRequest, kIdentificationAnswer)
        .answer(asciiWriteRequest(1), asciiFrame(header(1, 16, 20, 1)))
        .answer(asciiWriteRequest(1), asciiFrame(header(1, 16, 20, 2)))
        .answer(kAsciiReadRequest, asciiFrame({1, 0x83, 2}))
        .answer(kAsciiReadRequest, asciiFrame({1, 0x83, 7}))
        .answer(kAsciiReadRequest, badLrc)
        .answer(kAsciiReadRequest, asciiFrame(readAnswer(2, {171})))  // another slave
        .start();

    UPS_DeviceDescriptor d = makeDescriptor(44, 1);
    CloseAtEnd closer{&d};
    ASSERT_EQ(UPS_DeviceOpen(&d, nullptr), Success);
    const uint16_t value = 0xBEEF;
    EXPECT_EQ(UPS_WriteRegisters(&d, 40020, 1, &value), Success);
    EXPECT_EQ(UPS_WriteRegisters(&d, 40020, 1, &value), IoError);
    uint16_t v = 0;
    EXPECT_EQ(UPS_ReadRegisters(&d, 40000, 1, &v), ExceptionIllegalDataAddress);
    EXPECT_EQ(UPS_ReadRegisters(&d, 40000, 1, &v), IoError);
    EXPECT_EQ(UPS_ReadRegisters(&d, 40000, 1, &v), IoError);
    EXPECT_EQ(UPS_ReadRegisters(&d, 40000, 1, &v), IoError);
    EXPECT_EQ(v, 0);
    slave.join();
    EXPECT_EQ(text(slave.request(1)), asciiFrame(writeRequest));
}

TEST(AsciiRequests, BroadcastWriteCompletesOnceSent) {
    PtyPair pty(45);
    ASSERT_TRUE(pty.ok());
    ScriptedSlave slave(pty);
    slave.answer(kAsciiReadRequest, kIdentificationAnswer)
        .silent(asciiWriteRequest(1))
        .answer(kAsciiReadRequest, ":01030200AB4F\r\n")
        .start();

    UPS_DeviceDescriptor d = makeDescriptor(45, 1);
    CloseAtEnd closer{&d};
    ASSERT_EQ(UPS_DeviceOpen(&d, nullptr), Success);
    d.slaveAddress = 0;
    const uint16_t value = 7;
    uint64_t t0 = nowMs();
    EXPECT_EQ(UPS_WriteRegisters(&d, 40001, 1, &value), Success);
    EXPECT_LT(nowMs() - t0, 500u) << "a broadcast waits for no answer (time-out 1000 ms)";
    uint16_t v = 0x5A5A;
    EXPECT_EQ(UPS_ReadRegisters(&d, 40001, 1, &v), InvalidArgument);  // nobody would answer
    EXPECT_EQ(v, 0x5A5A);
    d.slaveAddress = 1;
    EXPECT_EQ(UPS_ReadRegisters(&d, 40000, 1, &v), Success);
    EXPECT_EQ(v, 171);
    slave.join();
    EXPECT_EQ(text(slave.request(1)), asciiFrame({0, 0x10, 0, 1, 0, 1, 2, 0, 7}));
    EXPECT_EQ(text(slave.request(2)), asciiRead(1, 0, 1));
}
