// Serial port layer: opening and configuring ports, the pool of eight slots,
// the port thread's chunking of received bytes, and how the thread ends.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/wait.h>

#include <algorithm>
#include <memory>

#include "QXUPSPorts.h"
#include "port_test_support.h"

using namespace testing_support;
using ups::PortSlot;

namespace {

const uint32_t kBaud = 115200;

ResultCode openRtu(PortSlot** slot, unsigned port, int owner = 0, uint32_t baud = kBaud) {
    return ups::openPort(slot, (uint8_t)port, baud, 8, ups::plat::ParityNone, 2, fakeOwner(owner),
                         nullptr, ups::DetectRtu);
}

// Closes the port and waits until its thread has freed the slot.
bool closeAndWait(PortSlot* slot, int timeoutMs = 3000) {
    if (ups::closePort(slot) != Success)
        return false;
    return waitFor([&] { return slotIsFree(slot); }, timeoutMs);
}

std::vector<uint8_t> concat(std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

class PortTest : public ::testing::Test {
protected:
    void SetUp() override {
        settleRuntimeThreads();
        for (int i = 0; i < kFakeOwners; ++i)
            recorderOf(i).clear();
    }
    // Joins the threads of ports that have ended and stops any left open.
    void TearDown() override { ups::stopPortThreads(); }
};

std::string devicePath(unsigned n) {
    char buf[64] = {0};
    return QXUPS_PortDevicePath(n, buf, sizeof buf) ? std::string(buf) : std::string("<none>");
}

TEST(PortNumbers, FixedTableAndEnvironmentOverride) {
    for (unsigned n : {1u, 32u, 33u, 64u, 65u, 96u, 97u, 0u, 200u, 255u}) {
        unsetenv(("QXUPS_COM" + std::to_string(n)).c_str());
    }
    EXPECT_EQ(devicePath(1), "/dev/ttyS0");
    EXPECT_EQ(devicePath(32), "/dev/ttyS31");
    EXPECT_EQ(devicePath(33), "/dev/ttyUSB0");
    EXPECT_EQ(devicePath(64), "/dev/ttyUSB31");
    EXPECT_EQ(devicePath(65), "/dev/ttyACM0");
    EXPECT_EQ(devicePath(96), "/dev/ttyACM31");
    EXPECT_EQ(devicePath(97), "<none>");
    EXPECT_EQ(devicePath(0), "<none>");
    EXPECT_EQ(devicePath(255), "<none>");

    // The environment wins over the table and also gives numbers outside it a device.
    setenv("QXUPS_COM1", "/dev/pts/7", 1);
    setenv("QXUPS_COM200", "/tmp/line", 1);
    EXPECT_EQ(devicePath(1), "/dev/pts/7");
    EXPECT_EQ(devicePath(200), "/tmp/line");
    // An empty value does not count.
    setenv("QXUPS_COM1", "", 1);
    EXPECT_EQ(devicePath(1), "/dev/ttyS0");
    // A path that does not fit the caller's buffer is no device, not a truncated one.
    setenv("QXUPS_COM1", "/dev/a-rather-long-device-name", 1);
    char small[8];
    volatile size_t smallSize = sizeof small;  // not folded into the call
    EXPECT_EQ(QXUPS_PortDevicePath(1, small, smallSize), 0);
    unsetenv("QXUPS_COM1");
    EXPECT_EQ(QXUPS_PortDevicePath(1, small, smallSize), 0);  // "/dev/ttyS0"
    unsetenv("QXUPS_COM200");

    EXPECT_EQ(QXUPS_PortNumberOfDevice("/dev/ttyS0"), 1u);
    EXPECT_EQ(QXUPS_PortNumberOfDevice("/dev/ttyS31"), 32u);
    EXPECT_EQ(QXUPS_PortNumberOfDevice("/dev/ttyUSB0"), 33u);
    EXPECT_EQ(QXUPS_PortNumberOfDevice("/dev/ttyACM0"), 65u);
    EXPECT_EQ(QXUPS_PortNumberOfDevice("/dev/ttyACM31"), 96u);
    for (const char* none : {"/dev/ttyS32", "/dev/ttyACM32", "/dev/ttyS", "/dev/ttyS1x",
                             "/dev/ttyS-1", "/dev/pts/3", "/dev/ttyAMA0", ""}) {
        EXPECT_EQ(QXUPS_PortNumberOfDevice(none), 0u) << none;
    }
}

TEST(PortTimeouts, OneCharacterAndTwoHundredFiftySixCharactersPlusTwentyMs) {
    EXPECT_EQ(ups::readTimeoutMs(9600), 21u);
    EXPECT_EQ(ups::writeTimeoutMs(9600), 313u);
    EXPECT_EQ(ups::readTimeoutMs(115200), 20u);
    EXPECT_EQ(ups::writeTimeoutMs(115200), 44u);
}

TEST_F(PortTest, EverySettingsPageBaudRateOpensOnAPty) {
    PtyPair pty(30);
    ASSERT_TRUE(pty.ok());
    for (uint32_t baud : {9600u, 19200u, 38400u, 57600u, 76800u, 115200u}) {
        PortSlot* slot = nullptr;
        ASSERT_EQ(openRtu(&slot, 30, 0, baud), Success) << baud;
        ups::takeStackLock();
        EXPECT_EQ(slot->readTimeoutMs, ups::readTimeoutMs(baud));
        EXPECT_EQ(slot->writeTimeoutMs, ups::writeTimeoutMs(baud));
        ups::giveStackLock();
        ASSERT_TRUE(closeAndWait(slot)) << baud;
    }
    // A pty has no character size or parity: the ASCII line settings open too.
    for (int32_t parity : {ups::plat::ParityOdd, ups::plat::ParityEven}) {
        PortSlot* slot = nullptr;
        ASSERT_EQ(
            ups::openPort(&slot, 30, 9600, 7, parity, 1, fakeOwner(0), nullptr, ups::DetectAscii),
            Success);
        ASSERT_TRUE(closeAndWait(slot));
    }
}

TEST_F(PortTest, UnsupportedLineSettingsAreInvalidAndLeaveNoSlotBehind) {
    PtyPair pty(31);
    ASSERT_TRUE(pty.ok());
    int threads = threadCount();
    struct Bad {
        uint32_t dataBits;
        int32_t parity;
        uint32_t stopBits;
    };
    for (Bad bad :
         {Bad{6, 2, 2}, Bad{9, 2, 2}, Bad{8, 3, 2}, Bad{8, -1, 2}, Bad{8, 2, 0}, Bad{8, 2, 3}}) {
        PortSlot* slot = nullptr;
        EXPECT_EQ(ups::openPort(&slot, 31, kBaud, bad.dataBits, bad.parity, bad.stopBits,
                                fakeOwner(0), nullptr, ups::DetectRtu),
                  InvalidArgument)
            << bad.dataBits << " " << bad.parity << " " << bad.stopBits;
        EXPECT_EQ(slot, nullptr);
    }
    EXPECT_EQ(threadCount(), threads);
    // Each failure released its slot and its device (closed and unlocked): a
    // valid open gets the lowest slot and the same device.
    PortSlot* slot = nullptr;
    ASSERT_EQ(openRtu(&slot, 31), Success);
    EXPECT_EQ(slot->index, 0);
    EXPECT_TRUE(closeAndWait(slot));
}

TEST_F(PortTest, MissingDevicesArePortErrors) {
    unsetenv("QXUPS_COM200");
    int threads = threadCount();
    int fds = fdCount();
    PortSlot* slot = nullptr;
    EXPECT_EQ(openRtu(&slot, 0), PortError);
    EXPECT_EQ(openRtu(&slot, 200), PortError);
    setenv("QXUPS_COM200", "/nonexistent/tty", 1);
    EXPECT_EQ(openRtu(&slot, 200), PortError);
    // Something that is not a terminal is not a serial port.
    setenv("QXUPS_COM200", "/dev/null", 1);
    EXPECT_EQ(openRtu(&slot, 200), PortError);
    unsetenv("QXUPS_COM200");
    EXPECT_EQ(slot, nullptr);
    EXPECT_EQ(threadCount(), threads);
    EXPECT_EQ(fdCount(), fds);
}

TEST_F(PortTest, NinthPortIsNoResourceUntilASlotIsFreed) {
    std::vector<std::unique_ptr<PtyPair>> ptys;
    for (unsigned n = 20; n <= 28; ++n) {
        ptys.emplace_back(new PtyPair(n));
        ASSERT_TRUE(ptys.back()->ok());
    }
    PortSlot* slots[ups::kPortSlotCount] = {};
    for (int i = 0; i < ups::kPortSlotCount; ++i) {
        ASSERT_EQ(openRtu(&slots[i], 20 + i, i), Success) << i;
    }
    PortSlot* ninth = nullptr;
    EXPECT_EQ(openRtu(&ninth, 28, 8), NoResource);
    EXPECT_EQ(ninth, nullptr);

    ASSERT_TRUE(closeAndWait(slots[3]));
    ASSERT_EQ(openRtu(&ninth, 28, 8), Success);
    EXPECT_EQ(ninth, slots[3]);  // the freed slot is reused
    slots[3] = ninth;
    for (PortSlot* slot : slots)
        EXPECT_TRUE(closeAndWait(slot));
}

// A child process that holds a device open with an exclusive flock until the
// parent lets it go (or the guard goes out of scope).
class LockHolder {
public:
    explicit LockHolder(const std::string& path) {
        int ready[2];
        if (pipe(ready) != 0 || pipe(m_hold) != 0)
            return;
        const char* device = path.c_str();
        m_pid = fork();
        if (m_pid == 0) {
            // Only async-signal-safe calls in the child.
            close(ready[0]);
            close(m_hold[1]);
            int fd = open(device, O_RDWR | O_NOCTTY);
            char ok = (fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) == 0) ? 1 : 0;
            if (write(ready[1], &ok, 1) != 1)
                _exit(2);
            char c;
            while (read(m_hold[0], &c, 1) > 0) {
            }
            _exit(0);
        }
        close(ready[1]);
        close(m_hold[0]);
        char ok = 0;
        if (m_pid > 0 && read(ready[0], &ok, 1) == 1)
            m_locked = ok == 1;
        close(ready[0]);
    }
    ~LockHolder() { release(); }
    bool locked() const { return m_locked; }
    // Ends the child; its descriptor and lock go with it.
    void release() {
        if (m_pid <= 0)
            return;
        close(m_hold[1]);
        int status = 0;
        if (!waitFor([&] { return waitpid(m_pid, &status, WNOHANG) == m_pid; }, 5000)) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, &status, 0);
        }
        m_pid = -1;
    }

private:
    pid_t m_pid = -1;
    int m_hold[2] = {-1, -1};
    bool m_locked = false;
};

TEST_F(PortTest, PortInUseIsRefused) {
    PtyPair pty(32);
    ASSERT_TRUE(pty.ok());
    PortSlot* slot = nullptr;
    {
        LockHolder holder(pty.path());
        ASSERT_TRUE(holder.locked());
        EXPECT_EQ(openRtu(&slot, 32), PortError);
        EXPECT_EQ(slot, nullptr);
        holder.release();
        // Once the other process is gone the device opens.
        ASSERT_EQ(openRtu(&slot, 32), Success);
    }
    // The library's own open is just as exclusive.
    PortSlot* second = nullptr;
    EXPECT_EQ(openRtu(&second, 32, 1), PortError);
    EXPECT_EQ(second, nullptr);
    EXPECT_TRUE(closeAndWait(slot));
}

TEST_F(PortTest, ClosingAnIdlePortEndsItsThreadAtOnce) {
    PtyPair pty(33);
    ASSERT_TRUE(pty.ok());
    int threads = threadCount();
    int fds = fdCount();
    uint64_t fastest = UINT64_MAX;
    for (int round = 0; round < 3; ++round) {
        PortSlot* slot = nullptr;
        ASSERT_EQ(openRtu(&slot, 33), Success);
        EXPECT_EQ(threadCount(), threads + 1);
        // Let the thread settle into its idle wait.
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        uint64_t t0 = nowMs();
        ASSERT_TRUE(closeAndWait(slot));
        fastest = std::min(fastest, nowMs() - t0);
        ASSERT_TRUE(waitFor([&] { return threadCount() == threads; }, 2000));
        EXPECT_EQ(fdCount(), fds);
    }
    // Woken by its event the thread leaves at once; without it, an idle thread
    // would sleep on (it waits without a time-out).
    EXPECT_LT(fastest, 50u);
}

TEST_F(PortTest, GlobalShutdownEndsEveryThreadIdleOrReceiving) {
    PtyPair a(34), b(35), c(36);
    ASSERT_TRUE(a.ok() && b.ok() && c.ok());
    int threads = threadCount();
    int fds = fdCount();
    PortSlot* slots[3] = {};
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(openRtu(&slots[i], 34 + i, i), Success);
    // One of them is receiving (blocked in its byte reads), the others idle.
    ASSERT_EQ(ups::setReceiveSink(slots[1], recordingSink), Success);
    EXPECT_EQ(threadCount(), threads + 3);

    uint64_t t0 = nowMs();
    ups::stopPortThreads();
    uint64_t took = nowMs() - t0;
    // An idle thread is woken; a receiving one sees the flag within a read time-out.
    EXPECT_LT(took, 1000u);
    for (PortSlot* slot : slots)
        EXPECT_TRUE(slotIsFree(slot));
    EXPECT_FALSE(ups::anyPortThread());
    EXPECT_TRUE(waitFor([&] { return threadCount() == threads; }, 2000)) << threadCount();
    EXPECT_EQ(fdCount(), fds);
}

TEST_F(PortTest, BurstWithoutGapIsCutIntoFullChunkAndRest) {
    PtyPair pty(37);
    ASSERT_TRUE(pty.ok());
    std::vector<uint8_t> burst(300);
    for (size_t i = 0; i < burst.size(); ++i)
        burst[i] = (uint8_t)(i * 7 + 1);
    burst[1] = 0;    // no function code: never a complete frame
    burst[257] = 0;  // nor in the second chunk
    ASSERT_EQ(rtuEarlyEnds(burst), std::vector<size_t>{256});

    PortSlot* slot = nullptr;
    ASSERT_EQ(openRtu(&slot, 37), Success);
    ASSERT_EQ(ups::setReceiveSink(slot, recordingSink), Success);
    pty.write(burst);
    ASSERT_TRUE(waitFor([] { return recorderOf(0).size() >= 2; }, 3000));
    std::vector<Chunk> chunks = recorderOf(0).chunks();
    ASSERT_EQ(chunks.size(), 2u);
    EXPECT_EQ(chunks[0].bytes.size(), 256u);
    EXPECT_EQ(chunks[1].bytes.size(), 44u);
    EXPECT_EQ(concat(chunks[0].bytes, chunks[1].bytes), burst);
    EXPECT_TRUE(closeAndWait(slot));
}

TEST_F(PortTest, BadCrcAtAGapSuspendsEarlyDeliveryUntilAGoodOne) {
    PtyPair pty(38);
    ASSERT_TRUE(pty.ok());
    const std::vector<uint8_t> frame = withCrc({1, 3, 6, 0, 1, 0, 2, 0, 3});
    const std::vector<uint8_t> extra = {0xAA, 0xBB, 0xCC};
    const std::vector<uint8_t> frameAndExtra = concat(frame, extra);
    // The frame ends early on its CRC; the extra bytes end at a gap with a bad
    // CRC, and so does the frame with the extra bytes taken as one chunk.
    ASSERT_EQ(rtuEarlyEnds(frameAndExtra), std::vector<size_t>{frame.size()});
    ASSERT_NE(crc16(frameAndExtra.data(), frameAndExtra.size()), 0);

    PortSlot* slot = nullptr;
    ASSERT_EQ(openRtu(&slot, 38), Success);
    ASSERT_EQ(ups::setReceiveSink(slot, recordingSink), Success);
    ChunkRecorder& rec = recorderOf(0);
    auto expectChunks = [&](std::vector<std::vector<uint8_t>> expected) {
        ASSERT_TRUE(waitFor([&] { return rec.size() >= expected.size(); }, 3000));
        // Nothing more follows after the last gap.
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        std::vector<Chunk> chunks = rec.chunks();
        ASSERT_EQ(chunks.size(), expected.size());
        for (size_t i = 0; i < chunks.size(); ++i)
            EXPECT_EQ(chunks[i].bytes, expected[i]) << i;
        rec.clear();
    };

    // A zero CRC at a length that is no answer shape (here a request's eight
    // bytes) ends nothing: the answer runs on to its own last byte.
    const std::vector<uint8_t> zeroCrcAtEight = withCrc({1, 3, 6, 1, 0x2D, 0, 9, 0xD2, 7});
    ASSERT_EQ(crc16(zeroCrcAtEight.data(), 8), 0);
    pty.write(zeroCrcAtEight);
    expectChunks({zeroCrcAtEight});
    // A fresh thread delivers a complete frame on its last byte.
    pty.write(frameAndExtra);
    expectChunks({frame, extra});
    // The extra bytes ended at a gap with a bad CRC: the next frame is not
    // taken on its CRC but runs on to the gap.
    pty.write(frameAndExtra);
    expectChunks({frameAndExtra});
    // That chunk ended badly too, so this frame also waits for its gap, where
    // its good CRC lifts the suspension...
    pty.write(frame);
    expectChunks({frame});
    // ...and frames are cut on their CRC again.
    pty.write(frameAndExtra);
    expectChunks({frame, extra});
    EXPECT_TRUE(closeAndWait(slot));
}

}  // namespace
