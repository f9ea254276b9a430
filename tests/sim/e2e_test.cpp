// The real upssim binary on a pseudo terminal, driven through the library's
// four exported functions (the port number is mapped to the simulator's link
// through QXUPS_COM<N>), with control commands on the simulator's stdin.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include "QXUPSSDK.h"
#include "sim_process.h"

using simtest::nowMs;
using simtest::SimProcess;

namespace {

const uint8_t kPort = 201;

class SimulatorEndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/upssim-e2e-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        link_ = dir_ + "/line";
        ASSERT_EQ(setenv("QXUPS_COM201", link_.c_str(), 1), 0);
    }

    void TearDown() override {
        if (device_.handle != nullptr)
            UPS_DeviceClose(&device_);
        if (sim_ && sim_->started()) {
            EXPECT_EQ(sim_->terminate(), 0);
            struct stat st;
            EXPECT_NE(lstat(link_.c_str(), &st), 0) << "the link outlived the simulator";
        }
        sim_.reset();
        unlink(link_.c_str());
        rmdir(dir_.c_str());
    }

    // The simulator ends with the test process (end of its input) unless keepOnEof.
    void startSim(std::vector<std::string> options, bool keepOnEof = false) {
        options.insert(options.begin(), {"--pty", link_});
        if (!keepOnEof)
            options.push_back("--quit-on-eof");
        sim_.reset(new SimProcess(options));
        ASSERT_TRUE(sim_->started());
        std::string path = sim_->waitReady();
        ASSERT_EQ(path.compare(0, 9, "/dev/pts/"), 0) << path;
        char target[256] = {};
        ASSERT_GT(readlink(link_.c_str(), target, sizeof target - 1), 0);
        EXPECT_EQ(path, target);
    }

    ResultCode open(uint8_t framing = 0, uint32_t timeoutMs = 1000, uint32_t baud = 115200,
                    uint8_t slave = 1) {
        device_ = UPS_DeviceDescriptor();
        device_.framing = framing;
        device_.portNumber = kPort;
        device_.slaveAddress = slave;
        device_.baudRate = baud;
        device_.responseTimeoutMs = timeoutMs;
        info_ = UPS_DeviceInfo();
        return UPS_DeviceOpen(&device_, &info_);
    }

    ResultCode read(uint16_t address, uint8_t count, uint16_t* values) {
        return UPS_ReadRegisters(&device_, address, count, values);
    }

    uint16_t readOne(uint16_t address) {
        uint16_t v = 0xDEAD;
        EXPECT_EQ(read(address, 1, &v), Success) << address;
        return v;
    }

    ResultCode writeOne(uint16_t address, uint16_t value) {
        return UPS_WriteRegisters(&device_, address, 1, &value);
    }

    std::string command(const std::string& cmd) { return sim_->command(cmd); }

    std::string dir_;
    std::string link_;
    std::unique_ptr<SimProcess> sim_;
    UPS_DeviceDescriptor device_ = UPS_DeviceDescriptor();
    UPS_DeviceInfo info_ = UPS_DeviceInfo();
};

TEST_F(SimulatorEndToEnd, OpenReadsIdentificationAndStatusBlock) {
    startSim({"--device-type", "301", "--hw", "4", "--fw", "120"});
    ASSERT_EQ(open(), Success);
    EXPECT_EQ(info_.deviceType, 301);
    EXPECT_EQ(info_.hardwareVersion, 4);
    EXPECT_EQ(info_.firmwareVersion, 120);

    uint16_t block[50] = {};
    ASSERT_EQ(read(40000, 50, block), Success);
    EXPECT_EQ(block[0], 301);
    EXPECT_EQ(block[1], 4);
    EXPECT_EQ(block[2], 120);
    EXPECT_EQ(block[16], 24000);
    EXPECT_EQ(block[18], 24000);
    EXPECT_EQ(block[26], 80);
    EXPECT_EQ(block[27], 1);
    EXPECT_EQ(block[28], 1);
    EXPECT_EQ(block[29], 0);
    EXPECT_LE(block[35], 9);

    // Write, read back through the library and through the control side.
    EXPECT_EQ(writeOne(40036, 555), Success);
    EXPECT_EQ(readOne(40036), 555);
    EXPECT_EQ(command("get 36"), "value 555");
    uint16_t several[3] = {1, 2, 65535};
    EXPECT_EQ(UPS_WriteRegisters(&device_, 40197, 3, several), Success);
    EXPECT_EQ(readOne(40199), 65535);

    // Read-only registers and addresses outside the bank: illegal data address.
    EXPECT_EQ(writeOne(40000, 1), ExceptionIllegalDataAddress);
    EXPECT_EQ(readOne(40000), 301);
    EXPECT_EQ(read(40199, 2, block), ExceptionIllegalDataAddress);
    EXPECT_EQ(read(40000, 50, block), Success);
    EXPECT_EQ(command("stats"), "stats requests=10 errors=0");
}

TEST_F(SimulatorEndToEnd, RegisterTableFromTheShippedData) {
    startSim({"--device-type", "302", "--registers",
              QXUPS_DATA_DIR "/iconfigs/DCU-2410/config_registers.xml"});
    ASSERT_EQ(open(), Success);
    EXPECT_EQ(info_.deviceType, 302);
    EXPECT_EQ(readOne(40036), 1000);  // its Default
    EXPECT_EQ(writeOne(40049, 40), Success);
    EXPECT_EQ(readOne(40049), 40);
    EXPECT_EQ(writeOne(40047, 1), Success);  // write-only, default 0: reads back its value
    EXPECT_EQ(readOne(40047), 1);
    EXPECT_EQ(writeOne(40030, 1), ExceptionIllegalDataAddress);  // status, not in the table
    EXPECT_EQ(writeOne(40100, 1), ExceptionIllegalDataAddress);  // listed read-only
    uint16_t tail[13] = {};
    EXPECT_EQ(read(40100, 12, tail), Success);  // 40100..40111 exist
    EXPECT_EQ(read(40100, 13, tail), Success);  // the default bank still reaches 40199
}

TEST_F(SimulatorEndToEnd, ControlAndScenariosAreSeenThroughTheLibrary) {
    startSim({});
    ASSERT_EQ(open(), Success);
    EXPECT_EQ(command("set 16 12345"), "ok");
    EXPECT_EQ(readOne(40016), 12345);

    EXPECT_EQ(command("scenario dc-loss"), "ok");
    uint16_t block[50] = {};
    ASSERT_EQ(read(40000, 50, block), Success);
    EXPECT_EQ(block[27], 2);
    EXPECT_EQ(block[28], 0);
    EXPECT_EQ(block[16], 0);
    EXPECT_EQ(block[29], 1);
    EXPECT_EQ(command("scenario dc-return"), "ok");
    ASSERT_EQ(read(40000, 50, block), Success);
    EXPECT_EQ(block[27], 1);
    EXPECT_EQ(block[28], 1);
    EXPECT_EQ(block[16], 12345);
    EXPECT_EQ(block[29], 0);
    EXPECT_EQ(command("scenario sw-on"), "ok");
    EXPECT_EQ(readOne(40031), 1);

    // A fast discharge reaches 0 and stays there (clamped, not wrapped).
    EXPECT_EQ(command("set 26 30"), "ok");
    EXPECT_EQ(command("scenario charge -60"), "ok");
    uint16_t charge = 30;
    for (int64_t end = nowMs() + 10000; charge != 0 && nowMs() < end;) {
        usleep(50000);
        charge = readOne(40026);
        ASSERT_LE(charge, 30);
    }
    EXPECT_EQ(charge, 0);
    usleep(300000);
    EXPECT_EQ(readOne(40026), 0);
}

TEST_F(SimulatorEndToEnd, FaultsGiveTheLibrarysResultCodesAndClearAgain) {
    startSim({});
    ASSERT_EQ(open(0, 300), Success);
    struct Case {
        const char* fault;
        ResultCode expected;
    };
    // RTU: noise glued to the answer spoils the chunk's CRC, so the chunk ends at
    // the read gap and fails; a split with a pause longer than the read gap
    // (about 20 ms at 115200 baud) delivers half a frame at that gap.
    const Case cases[] = {
        {"fault silent", TimedOut},
        {"fault bad-crc", IoError},
        {"fault wrong-slave", IoError},
        {"fault exception 2", ExceptionIllegalDataAddress},
        {"fault exception 1", ExceptionIllegalFunction},
        {"fault exception 6", ExceptionSlaveDeviceBusy},
        {"fault delay 1000", TimedOut},
        {"fault split 200", IoError},
        {"fault noise", IoError},
    };
    uint16_t block[50] = {};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fault);
        ASSERT_EQ(command(c.fault), "ok");
        EXPECT_EQ(read(40000, 50, block), c.expected);
        ASSERT_EQ(command("fault none"), "ok");
        block[0] = 0;
        EXPECT_EQ(read(40000, 50, block), Success);
        EXPECT_EQ(block[0], 302);
    }
    // Writes see the same exceptions; a refused write changes nothing.
    ASSERT_EQ(command("fault exception 4"), "ok");
    EXPECT_EQ(writeOne(40040, 9), ExceptionSlaveDeviceFailure);
    ASSERT_EQ(command("fault none"), "ok");
    EXPECT_EQ(command("get 40"), "value 0");
    EXPECT_EQ(command("stats"), "stats requests=20 errors=10");
}

TEST_F(SimulatorEndToEnd, ShortDelayStaysWithinTheTimeOut) {
    startSim({});
    ASSERT_EQ(open(0, 5000), Success);
    ASSERT_EQ(command("fault delay 200"), "ok");
    int64_t t0 = nowMs();
    uint16_t v = 0;
    EXPECT_EQ(read(40000, 1, &v), Success);
    EXPECT_GE(nowMs() - t0, 190);
    EXPECT_EQ(v, 302);
}

TEST_F(SimulatorEndToEnd, AsciiFraming) {
    startSim({"--ascii", "--device-type", "301"});
    ASSERT_EQ(open(1, 300), Success);
    EXPECT_EQ(info_.deviceType, 301);
    uint16_t block[50] = {};
    ASSERT_EQ(read(40000, 50, block), Success);
    EXPECT_EQ(block[28], 1);
    EXPECT_EQ(writeOne(40045, 17), Success);
    EXPECT_EQ(readOne(40045), 17);

    // The ASCII master waits for the colon, so garbage in front of an answer is harmless.
    ASSERT_EQ(command("fault noise"), "ok");
    EXPECT_EQ(read(40000, 50, block), Success);
    ASSERT_EQ(command("fault bad-crc"), "ok");
    EXPECT_EQ(read(40000, 50, block), IoError);
    ASSERT_EQ(command("fault wrong-slave"), "ok");
    EXPECT_EQ(read(40000, 50, block), IoError);
    ASSERT_EQ(command("fault exception 3"), "ok");
    EXPECT_EQ(read(40000, 50, block), ExceptionIllegalDataValue);
    ASSERT_EQ(command("fault silent"), "ok");
    EXPECT_EQ(read(40000, 50, block), TimedOut);
    ASSERT_EQ(command("fault none"), "ok");
    EXPECT_EQ(read(40000, 50, block), Success);
}

TEST_F(SimulatorEndToEnd, OtherAddressesAreIgnoredAndBroadcastsCarriedOut) {
    startSim({"--slave", "7"});
    EXPECT_EQ(open(0, 300, 115200, 8), TimedOut);
    EXPECT_EQ(device_.handle, nullptr);
    ASSERT_EQ(open(0, 300, 115200, 7), Success);
    device_.slaveAddress = 0;
    EXPECT_EQ(writeOne(40040, 4321), Success);
    device_.slaveAddress = 7;
    EXPECT_EQ(command("get 40"), "value 4321");
    EXPECT_EQ(readOne(40040), 4321);
}

TEST_F(SimulatorEndToEnd, PacedAnswersTakeTheirLineTime) {
    startSim({"--pace", "--baud", "9600"});
    ASSERT_EQ(open(0, 3000, 9600), Success);
    uint16_t block[50] = {};
    int64_t t0 = nowMs();
    ASSERT_EQ(read(40000, 50, block), Success);
    // 8 request bytes go out at once from the library; the 105 answer bytes
    // take 1.146 ms each at 9600 baud.
    EXPECT_GE(nowMs() - t0, 105 * 1146 * 8 / 10 / 1000);
    EXPECT_EQ(block[0], 302);
}

TEST_F(SimulatorEndToEnd, KeepsServingAfterEndOfInputAndQuitEnds) {
    startSim({}, true);
    sim_->closeInput();
    ASSERT_EQ(open(), Success);
    EXPECT_EQ(readOne(40028), 1);
    UPS_DeviceClose(&device_);

    // A second simulator on the same link takes it over; the first one's end leaves it alone.
    SimProcess second({"--pty", link_, "--device-type", "999", "--quit-on-eof"});
    ASSERT_TRUE(second.started());
    std::string path = second.waitReady();
    ASSERT_FALSE(path.empty());
    EXPECT_EQ(sim_->terminate(), 0);
    sim_.reset();
    ASSERT_EQ(open(), Success);
    EXPECT_EQ(info_.deviceType, 999);
    UPS_DeviceClose(&device_);
    second.closeInput();  // --quit-on-eof
    EXPECT_EQ(second.wait(), 0);
    struct stat st;
    EXPECT_NE(lstat(link_.c_str(), &st), 0);
}

TEST_F(SimulatorEndToEnd, QuitCommandEnds) {
    startSim({});
    EXPECT_EQ(command("quit"), "bye");
    EXPECT_EQ(sim_->wait(), 0);
    struct stat st;
    EXPECT_NE(lstat(link_.c_str(), &st), 0);
}

TEST(SimulatorCommandLine, HelpAndUsageErrors) {
    SimProcess help({"--help"});
    std::string all;
    std::string line;
    while (help.readLine(&line))
        all += line + "\n";
    EXPECT_EQ(help.wait(), 0);
    for (const char* needle : {"--pty LINK", "--device PATH", "--ascii", "--slave N", "--baud B",
                               "--pace", "--quit-on-eof", "--device-type T", "--hw V", "--fw V",
                               "--registers FILE", "protocol address", "fault split MS",
                               "scenario charge RATE", "stats", "quit", "SIGTERM"}) {
        EXPECT_NE(all.find(needle), std::string::npos) << needle;
    }
    for (std::vector<std::string> bad :
         std::vector<std::vector<std::string>>{{"--bogus"},
                                               {},
                                               {"--pty", "/tmp/x", "--device", "/dev/null"},
                                               {"--pty", "/tmp/x", "--slave", "248"},
                                               {"--pty", "/tmp/x", "--baud"}}) {
        SimProcess p(bad);
        EXPECT_EQ(p.wait(), 2);
    }
}

}  // namespace
