// RTU interworking with an independent Modbus implementation: a libmodbus
// slave on one end of a socat pseudo-terminal pair, the library on the other.
#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <modbus.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "QXUPSSDK.h"

namespace {

const uint8_t kPort = 55;
const int kRegisters = 100;

bool onPath(const char* program) {
    const char* path = getenv("PATH");
    std::string dirs = path != nullptr ? path : "/usr/bin:/bin";
    size_t start = 0;
    while (start <= dirs.size()) {
        size_t end = dirs.find(':', start);
        if (end == std::string::npos)
            end = dirs.size();
        std::string candidate = dirs.substr(start, end - start) + "/" + program;
        if (access(candidate.c_str(), X_OK) == 0)
            return true;
        start = end + 1;
    }
    return false;
}

// A socat process joining two pseudo terminals, reachable through two links.
class SocatPair {
public:
    SocatPair() {
        std::string base = "/tmp/qxups_interop_" + std::to_string(getpid());
        m_linkA = base + "_a";
        m_linkB = base + "_b";
        std::string a = "pty,raw,echo=0,link=" + m_linkA;
        std::string b = "pty,raw,echo=0,link=" + m_linkB;
        m_pid = fork();
        if (m_pid == 0) {
            int null = open("/dev/null", O_WRONLY);
            if (null >= 0)
                dup2(null, STDERR_FILENO);
            execlp("socat", "socat", "-d", "-d", a.c_str(), b.c_str(), (char*)nullptr);
            _exit(127);
        }
    }
    ~SocatPair() {
        if (m_pid > 0) {
            kill(m_pid, SIGTERM);
            waitpid(m_pid, nullptr, 0);
        }
        unlink(m_linkA.c_str());
        unlink(m_linkB.c_str());
    }
    // Waits until both links exist.
    bool ready() const {
        if (m_pid <= 0)
            return false;
        struct stat st;
        for (int i = 0; i < 500; ++i) {
            if (stat(m_linkA.c_str(), &st) == 0 && stat(m_linkB.c_str(), &st) == 0)
                return true;
            if (waitpid(m_pid, nullptr, WNOHANG) == m_pid)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }
    const std::string& linkA() const { return m_linkA; }
    const std::string& linkB() const { return m_linkB; }

private:
    pid_t m_pid = -1;
    std::string m_linkA, m_linkB;
};

// libmodbus RTU slave 1 serving a register map until stopped.
class LibmodbusSlave {
public:
    explicit LibmodbusSlave(const std::string& device) {
        m_ctx = modbus_new_rtu(device.c_str(), 115200, 'N', 8, 1);
        m_map = modbus_mapping_new(0, 0, kRegisters, 0);
        if (m_ctx == nullptr || m_map == nullptr)
            return;
        modbus_set_slave(m_ctx, 1);
        // Bounded waits for a request, so that the loop sees the stop flag.
        modbus_set_indication_timeout(m_ctx, 0, 100000);
        m_connected = modbus_connect(m_ctx) == 0;
    }
    ~LibmodbusSlave() {
        stop();
        if (m_ctx != nullptr) {
            modbus_close(m_ctx);
            modbus_free(m_ctx);
        }
        if (m_map != nullptr)
            modbus_mapping_free(m_map);
    }
    bool ok() const { return m_connected; }
    // Only while the thread is not running.
    uint16_t* registers() { return m_map->tab_registers; }

    void start() {
        m_thread = std::thread([this] {
            uint8_t query[MODBUS_RTU_MAX_ADU_LENGTH];
            while (!m_stop.load()) {
                int n = modbus_receive(m_ctx, query);
                if (n > 0)
                    modbus_reply(m_ctx, query, n, m_map);
            }
        });
    }
    void stop() {
        m_stop.store(true);
        if (m_thread.joinable())
            m_thread.join();
    }

private:
    modbus_t* m_ctx = nullptr;
    modbus_mapping_t* m_map = nullptr;
    bool m_connected = false;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

}  // namespace

TEST(LibmodbusInterworking, OpenReadWriteAgainstALibmodbusSlave) {
    if (!onPath("socat")) {
        // CI installs socat with the other dependencies: there a missing one
        // is a broken set-up, not a reason to test less.
        const char* ci = getenv("CI");
        if (ci != nullptr && *ci != '\0') FAIL() << "socat is not installed (CI is set)";
        GTEST_SKIP() << "socat is not installed";
    }
    SocatPair line;
    ASSERT_TRUE(line.ready()) << "socat did not create its links";

    LibmodbusSlave slave(line.linkB());
    ASSERT_TRUE(slave.ok()) << modbus_strerror(errno);
    uint16_t expected[kRegisters];
    for (int i = 0; i < kRegisters; ++i)
        expected[i] = (uint16_t)(0x1000 + 37 * i);
    expected[0] = 301;     // device type
    expected[1] = 0x0203;  // hardware version
    expected[2] = 0x0405;  // firmware version
    for (int i = 0; i < kRegisters; ++i)
        slave.registers()[i] = expected[i];
    slave.start();

    setenv(("QXUPS_COM" + std::to_string(kPort)).c_str(), line.linkA().c_str(), 1);
    UPS_DeviceDescriptor d = {};
    d.portNumber = kPort;
    d.slaveAddress = 1;
    d.baudRate = 115200;
    d.responseTimeoutMs = 1000;
    UPS_DeviceInfo info = {};
    ASSERT_EQ(UPS_DeviceOpen(&d, &info), Success);
    EXPECT_EQ(info.deviceType, 301);
    EXPECT_EQ(info.hardwareVersion, 0x0203);
    EXPECT_EQ(info.firmwareVersion, 0x0405);

    uint16_t block[50] = {};
    EXPECT_EQ(UPS_ReadRegisters(&d, 40000, 50, block), Success);
    for (int i = 0; i < 50; ++i)
        EXPECT_EQ(block[i], expected[i]) << "register " << i;

    const uint16_t value = 0xCAFE;
    EXPECT_EQ(UPS_WriteRegisters(&d, 40010, 1, &value), Success);
    uint16_t back = 0;
    EXPECT_EQ(UPS_ReadRegisters(&d, 40010, 1, &back), Success);
    EXPECT_EQ(back, 0xCAFE);

    // A broadcast write is carried out without an answer.
    d.slaveAddress = 0;
    const uint16_t broadcast = 0x1111;
    EXPECT_EQ(UPS_WriteRegisters(&d, 40011, 1, &broadcast), Success);
    d.slaveAddress = 1;
    EXPECT_EQ(UPS_ReadRegisters(&d, 40011, 1, &back), Success);
    EXPECT_EQ(back, 0x1111);

    // Beyond the slave's map: an illegal data address exception.
    EXPECT_EQ(UPS_ReadRegisters(&d, 40000 + kRegisters, 1, &back), ExceptionIllegalDataAddress);

    EXPECT_EQ(UPS_DeviceClose(&d), Success);
    slave.stop();
    EXPECT_EQ(slave.registers()[10], 0xCAFE);
    EXPECT_EQ(slave.registers()[11], 0x1111);
    unsetenv(("QXUPS_COM" + std::to_string(kPort)).c_str());
}
