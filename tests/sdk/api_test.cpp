// End-to-end tests of the four exported functions with RTU framing, opening
// and requests: the test plays the slave on the master side of a
// pseudo-terminal pair. The tests of several devices and the library's
// threads are in api_devices_test.cpp.
#include <gtest/gtest.h>

#include <string>

#include "QXUPSSDK.h"
#include "scripted_slave.h"
#include "api_test_support.h"

using namespace testing_support;

namespace {

Bytes rtuRead(uint8_t slave, uint16_t wireAddress, uint16_t count) {
    return withCrc(header(slave, 3, wireAddress, count));
}

}  // namespace

TEST(RtuOpen, SendsIdentificationRequestAndFillsInfo) {
    PtyPair pty(40);
    ASSERT_TRUE(pty.ok());
    ScriptedSlave slave(pty);
    slave.answer(kRtuReadRequest, withCrc(identification(1, 301, 0x0102, 0xA0B0))).start();

    UPS_DeviceDescriptor d = makeDescriptor(40);
    CloseAtEnd closer{&d};
    UPS_DeviceInfo info = {};
    ASSERT_EQ(UPS_DeviceOpen(&d, &info), Success);
    slave.join();

    EXPECT_EQ(slave.request(0), (Bytes{0x01, 0x03, 0x00, 0x00, 0x00, 0x03, 0x05, 0xCB}));
    EXPECT_NE(d.handle, nullptr);
    EXPECT_EQ(d.lastResult, Success);
    EXPECT_EQ(info.deviceType, 301);
    EXPECT_EQ(info.hardwareVersion, 0x0102);
    EXPECT_EQ(info.firmwareVersion, 0xA0B0);
    EXPECT_EQ(info.driverVersion, 1000);
}

TEST(RtuOpen, OutOfRangeResponseTimeoutIsRefusedAndFreesThePort) {
    PtyPair pty(41);
    ASSERT_TRUE(pty.ok());
    // 131071 is 65535 modulo 65536.
    for (uint32_t timeout : {0u, 65535u, 65536u, 131071u}) {
        UPS_DeviceDescriptor d = makeDescriptor(41, 0, 1, timeout);
        UPS_DeviceInfo info = {7, 7, 7, 7};
        EXPECT_EQ(UPS_DeviceOpen(&d, &info), InvalidArgument) << timeout;
        EXPECT_EQ(d.handle, nullptr) << timeout;
        EXPECT_EQ(d.lastResult, InvalidArgument) << timeout;
        EXPECT_EQ(info.deviceType, 7) << timeout;
    }
    expectQuietLine(pty);

    // The refused opens left the port free: the same port opens again.
    ScriptedSlave slave(pty);
    slave.answer(kRtuReadRequest, rtuIdentification()).start();
    UPS_DeviceDescriptor d = makeDescriptor(41);
    CloseAtEnd closer{&d};
    EXPECT_EQ(UPS_DeviceOpen(&d, nullptr), Success);
}

TEST(RtuOpen, SilentSlaveTimesOutAfterTheWrappedTimeoutAndLeavesTheRecordClosed) {
    PtyPair pty(42);
    ASSERT_TRUE(pty.ok());
    ScriptedSlave slave(pty);
    slave.silent(kRtuReadRequest).start();

    // 66536 is used as 1000 ms.
    UPS_DeviceDescriptor d = makeDescriptor(42, 0, 1, 65536 + 1000);
    uint64_t t0 = nowMs();
    EXPECT_EQ(UPS_DeviceOpen(&d, nullptr), TimedOut);
    uint64_t elapsed = nowMs() - t0;
    EXPECT_GE(elapsed, 900u);
    EXPECT_LE(elapsed, 3000u);
    EXPECT_EQ(d.handle, nullptr);
    EXPECT_EQ(d.lastResult, TimedOut);
    slave.join();
    EXPECT_EQ(slave.request(0), rtuRead(1, 0, 3));

    // A record that failed to open can be opened again on the same port.
    ScriptedSlave again(pty);
    again.answer(kRtuReadRequest, rtuIdentification()).start();
    CloseAtEnd closer{&d};
    EXPECT_EQ(UPS_DeviceOpen(&d, nullptr), Success);
}

TEST(RtuOpen, SlaveAddressAbove247IsRefusedWithoutTraffic) {
    PtyPair pty(43);
    ASSERT_TRUE(pty.ok());
    for (uint8_t address : {248, 255}) {
        UPS_DeviceDescriptor d = makeDescriptor(43, 0, address);
        EXPECT_EQ(UPS_DeviceOpen(&d, nullptr), InvalidArgument) << int(address);
        EXPECT_EQ(d.handle, nullptr);
        EXPECT_EQ(d.lastResult, InvalidArgument);
    }
    expectQuietLine(pty);
}

TEST(RtuRequests, AddressesAreShiftedByTheRegisterBase) {
    PtyPair pty(44);
    ASSERT_TRUE(pty.ok());
    ScriptedSlave slave(pty);
    slave.answer(kRtuReadRequest, rtuIdentification())
        .answer(kRtuReadRequest, withCrc(readAnswer(1, {0x1234})))
        .answer(kRtuReadRequest, withCrc(readAnswer(1, {0xFFFF, 0x0001})))
        .answer(kRtuReadRequest, withCrc(readAnswer(1, {42})))
        .start();

    UPS_DeviceDescriptor d = makeDescriptor(44);
    CloseAtEnd closer{&d};
    ASSERT_EQ(UPS_DeviceOpen(&d, nullptr), Success);
    uint16_t v[2] = {0, 0};
    EXPECT_EQ(UPS_ReadRegisters(&d, 40000, 1, v), Success);
    EXPECT_EQ(v[0], 0x1234);
    EXPECT_EQ(UPS_ReadRegisters(&d, 40000 + 49, 2, v), Success);
    EXPECT_EQ(v[0], 0xFFFF);
    EXPECT_EQ(v[1], 0x0001);
    EXPECT_EQ(UPS_ReadRegisters(&d, 0, 1, v), Success);
    EXPECT_EQ(v[0], 42);
    slave.join();

    EXPECT_EQ(slave.request(1), rtuRead(1, 0, 1));
    EXPECT_EQ(slave.request(2), rtuRead(1, 49, 2));
    EXPECT_EQ(slave.request(3), rtuRead(1, 25536, 1));
}

TEST(RtuRequests, OutOfRangeRequestsNeverReachTheLine) {
    PtyPair pty(45);
    ASSERT_TRUE(pty.ok());
    ScriptedSlave opener(pty);
    opener.answer(kRtuReadRequest, rtuIdentification()).start();
    UPS_DeviceDescriptor d = makeDescriptor(45);
    CloseAtEnd closer{&d};
    ASSERT_EQ(UPS_DeviceOpen(&d, nullptr), Success);
    opener.join();

    // Program address a goes on the wire as a - 40000 (mod 65536).
    const uint16_t wire65410 = 65410 - 25536;  // 39874
    const uint16_t wire65500 = 65500 - 25536;  // 39964
    std::vector<uint16_t> values(130, 0x5A5A);
    EXPECT_EQ(UPS_ReadRegisters(&d, 40000, 0, values.data()), InvalidArgument);
    EXPECT_EQ(UPS_ReadRegisters(&d, 40000, 126, values.data()), InvalidArgument);
    EXPECT_EQ(UPS_ReadRegisters(&d, wire65500, 50, values.data()), InvalidArgument);
    EXPECT_EQ(UPS_ReadRegisters(&d, wire65410 + 1, 125, values.data()), InvalidArgument);
    EXPECT_EQ(UPS_WriteRegisters(&d, 40000, 0, values.data()), InvalidArgument);
    EXPECT_EQ(UPS_WriteRegisters(&d, 40000, 124, values.data()), InvalidArgument);
    EXPECT_EQ(UPS_WriteRegisters(&d, wire65500, 50, values.data()), InvalidArgument);
    EXPECT_EQ(d.lastResult, InvalidArgument);
    EXPECT_EQ(values[0], 0x5A5A);
    expectQuietLine(pty);
    EXPECT_NE(d.handle, nullptr) << "a refused request must not close the device";

    // The limits themselves are accepted: 125 registers ending at 65535, and a
    // write of 123.
    std::vector<uint16_t> answer(125);
    for (size_t i = 0; i < answer.size(); ++i)
        answer[i] = (uint16_t)(1000 + i);
    std::vector<uint16_t> written(123);
    for (size_t i = 0; i < written.size(); ++i)
        written[i] = (uint16_t)(0x0100 * i + i);
    ScriptedSlave slave(pty);
    slave.answer(kRtuReadRequest, withCrc(readAnswer(1, answer)))
        .answer(rtuWriteRequest(123), withCrc(header(1, 16, 0, 123)))
        .start();
    EXPECT_EQ(UPS_ReadRegisters(&d, wire65410, 125, values.data()), Success);
    EXPECT_EQ(values[0], 1000);
    EXPECT_EQ(values[124], 1124);
    EXPECT_EQ(values[125], 0x5A5A);
    EXPECT_EQ(UPS_WriteRegisters(&d, 40000, 123, written.data()), Success);
    slave.join();

    EXPECT_EQ(slave.request(0), rtuRead(1, 65410, 125));
    Bytes write = header(1, 16, 0, 123);
    write.push_back(246);
    for (uint16_t v : written) {
        write.push_back((uint8_t)(v >> 8));
        write.push_back((uint8_t)(v & 0xFF));
    }
    EXPECT_EQ(slave.request(1), withCrc(write));
}

TEST(RtuRequests, WriteOfOneRegisterChecksTheEcho) {
    PtyPair pty(46);
    ASSERT_TRUE(pty.ok());
    ScriptedSlave slave(pty);
    slave.answer(kRtuReadRequest, rtuIdentification())
        .answer(rtuWriteRequest(1), withCrc(header(1, 16, 20, 1)))
        .answer(rtuWriteRequest(1), withCrc(header(1, 16, 21, 1)))  // other address
        .answer(rtuWriteRequest(1), withCrc(header(1, 16, 20, 2)))  // other count
        .start();

    UPS_DeviceDescriptor d = makeDescriptor(46);
    CloseAtEnd closer{&d};
    ASSERT_EQ(UPS_DeviceOpen(&d, nullptr), Success);
    const uint16_t value = 0xBEEF;
    EXPECT_EQ(UPS_WriteRegisters(&d, 40020, 1, &value), Success);
    EXPECT_EQ(d.lastResult, Success);
    EXPECT_EQ(UPS_WriteRegisters(&d, 40020, 1, &value), IoError);
    EXPECT_EQ(UPS_WriteRegisters(&d, 40020, 1, &value), IoError);
    EXPECT_EQ(d.lastResult, IoError);
    EXPECT_NE(d.handle, nullptr) << "a failed write leaves the device open";
    slave.join();

    EXPECT_EQ(slave.request(1), withCrc({0x01, 0x10, 0x00, 0x14, 0x00, 0x01, 0x02, 0xBE, 0xEF}));
}

TEST(RtuRequests, ExceptionAnswersMapToResultCodes) {
    struct Case {
        uint8_t function;
        uint8_t code;
        ResultCode expected;
    };
    const Case cases[] = {
        {0x83, 1, ExceptionIllegalFunction},
        {0x83, 2, ExceptionIllegalDataAddress},
        {0x83, 3, ExceptionIllegalDataValue},
        {0x83, 4, ExceptionSlaveDeviceFailure},
        {0x83, 5, ExceptionAcknowledge},
        {0x83, 6, ExceptionSlaveDeviceBusy},
        {0x83, 7, IoError},
        {0x83, 8, ExceptionMemoryParityError},
        {0x83, 9, IoError},
        {0x83, 10, ExceptionGatewayPathUnavailable},
        {0x83, 11, ExceptionGatewayTargetFailed},
        {0x83, 0, IoError},
        {0x83, 12, IoError},
        {0x90, 2, IoError},  // exception for another function
    };
    PtyPair pty(47);
    ASSERT_TRUE(pty.ok());
    ScriptedSlave slave(pty);
    slave.answer(kRtuReadRequest, rtuIdentification());
    for (const Case& c : cases)
        slave.answer(kRtuReadRequest, withCrc({1, c.function, c.code}));
    slave.answer(rtuWriteRequest(1), withCrc({1, 0x90, 2}));
    slave.start();

    UPS_DeviceDescriptor d = makeDescriptor(47);
    CloseAtEnd closer{&d};
    ASSERT_EQ(UPS_DeviceOpen(&d, nullptr), Success);
    for (const Case& c : cases) {
        uint16_t v = 0x5A5A;
        EXPECT_EQ(UPS_ReadRegisters(&d, 40000, 1, &v), c.expected)
            << "function " << int(c.function) << " code " << int(c.code);
        EXPECT_EQ(d.lastResult, c.expected);
        EXPECT_EQ(v, 0x5A5A);
    }
    const uint16_t value = 1;
    EXPECT_EQ(UPS_WriteRegisters(&d, 40000, 1, &value), ExceptionIllegalDataAddress);
}

TEST(RtuRequests, BroadcastWriteGoesOutButReadsFromSlaveZeroAreRefused) {
    PtyPair pty(48);
    ASSERT_TRUE(pty.ok());
    // Nobody answers a broadcast: an open (its identification read) and a read
    // to slave 0 are refused before anything is sent.
    UPS_DeviceDescriptor broadcast = makeDescriptor(48, 0, 0);
    EXPECT_EQ(UPS_DeviceOpen(&broadcast, nullptr), InvalidArgument);
    EXPECT_EQ(broadcast.handle, nullptr);
    EXPECT_EQ(broadcast.lastResult, InvalidArgument);
    expectQuietLine(pty);

    ScriptedSlave slave(pty);
    slave.answer(kRtuReadRequest, rtuIdentification())
        .silent(rtuWriteRequest(1))
        .answer(kRtuReadRequest, withCrc(readAnswer(1, {77})))
        .start();
    UPS_DeviceDescriptor d = makeDescriptor(48);
    CloseAtEnd closer{&d};
    ASSERT_EQ(UPS_DeviceOpen(&d, nullptr), Success);
    d.slaveAddress = 0;
    uint16_t v[2] = {0x5A5A, 0x5A5A};
    EXPECT_EQ(UPS_ReadRegisters(&d, 40003, 2, v), InvalidArgument);
    EXPECT_EQ(d.lastResult, InvalidArgument);
    EXPECT_EQ(v[0], 0x5A5A);
    EXPECT_EQ(v[1], 0x5A5A);
    const uint16_t value = 0x0102;
    uint64_t t0 = nowMs();
    EXPECT_EQ(UPS_WriteRegisters(&d, 40004, 1, &value), Success);
    EXPECT_LT(nowMs() - t0, 500u) << "a broadcast waits for no answer (time-out 1000 ms)";
    EXPECT_EQ(d.lastResult, Success);

    // Unicast works again afterwards.
    d.slaveAddress = 1;
    EXPECT_EQ(UPS_ReadRegisters(&d, 40000, 1, v), Success);
    EXPECT_EQ(v[0], 77);
    slave.join();

    EXPECT_EQ(slave.request(1), withCrc({0, 0x10, 0, 4, 0, 1, 2, 0x01, 0x02}));
}

TEST(RtuRequests, AnswersWhoseFirstEightBytesCarryAZeroCrcAreNotCutShort) {
    // 01 03 06 01 2D 00 09 D2 and 01 03 64 01 2D 00 16 6A each close a CRC at a
    // request's length; only the answer's own byte count ends them.
    std::vector<uint16_t> block(50, 0);
    block[0] = 301;
    block[1] = 22;
    block[2] = 27143;
    PtyPair pty(61);
    ASSERT_TRUE(pty.ok());
    ScriptedSlave slave(pty);
    slave.answer(kRtuReadRequest, withCrc(identification(1, 301, 9, 53767)))
        .repeat(kRtuReadRequest, withCrc(readAnswer(1, block)), 3)
        .start();
    UPS_DeviceDescriptor d = makeDescriptor(61);
    CloseAtEnd closer{&d};
    UPS_DeviceInfo info = {};
    ASSERT_EQ(UPS_DeviceOpen(&d, &info), Success);
    EXPECT_EQ(info.deviceType, 301);
    EXPECT_EQ(info.hardwareVersion, 9);
    EXPECT_EQ(info.firmwareVersion, 53767);
    for (int poll = 0; poll < 3; ++poll) {
        std::vector<uint16_t> v(50, 0);
        EXPECT_EQ(UPS_ReadRegisters(&d, 40000, 50, v.data()), Success) << poll;
        EXPECT_EQ(v, block) << poll;
    }
}
