#include <gtest/gtest.h>
#include <thread>
#include "QXUPSSDK.h"
#include "crc.h"
#include "pty_pair.h"
using namespace testing_support;
TEST(Smoke, Crc) {
    uint8_t f[] = {1, 3, 0, 0, 0, 3};
    EXPECT_EQ(ups::crc16(f, 6), 0xCB05);
}
TEST(Smoke, OpenReadClose) {
    PtyPair pty(9);
    ASSERT_TRUE(pty.ok());
    std::thread slave([&] {
        auto req = pty.read(8);
        ASSERT_EQ(req, withCrc({1, 3, 0, 0, 0, 3}));
        pty.write(withCrc({1, 3, 6, 0, 1, 0, 2, 0, 3}));
        req = pty.read(8);
        ASSERT_EQ(req, withCrc({1, 3, 0, 16, 0, 2}));
        pty.write(withCrc({1, 3, 4, 0x2e, 0xe0, 0x12, 0x34}));
    });
    UPS_DeviceDescriptor d = {};
    d.portNumber = 9;
    d.slaveAddress = 1;
    d.baudRate = 115200;
    d.responseTimeoutMs = 1000;
    UPS_DeviceInfo info = {};
    uint64_t t0 = nowMs();
    ASSERT_EQ(UPS_DeviceOpen(&d, &info), Success);
    printf("open took %llu ms\n", (unsigned long long)(nowMs() - t0));
    EXPECT_EQ(info.deviceType, 1);
    EXPECT_EQ(info.firmwareVersion, 3);
    EXPECT_EQ(info.driverVersion, 1000);
    uint16_t v[2] = {};
    t0 = nowMs();
    EXPECT_EQ(UPS_ReadRegisters(&d, 40016, 2, v), Success);
    printf("read took %llu ms\n", (unsigned long long)(nowMs() - t0));
    EXPECT_EQ(v[0], 12000);
    EXPECT_EQ(v[1], 0x1234);
    slave.join();
    t0 = nowMs();
    EXPECT_EQ(UPS_ReadRegisters(&d, 40016, 2, v), TimedOut);
    printf("timeout took %llu ms\n", (unsigned long long)(nowMs() - t0));
    EXPECT_EQ(UPS_DeviceClose(&d), Success);
}
