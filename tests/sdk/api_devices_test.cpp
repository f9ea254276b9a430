// End-to-end tests of the four exported functions with RTU framing, several
// devices and the library's threads: the test plays the slave on the master
// side of a pseudo-terminal pair.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <pthread.h>
#include <sched.h>
#endif

#include <atomic>
#include <fstream>
#include <set>
#include <string>
#include <thread>

#include "QXUPSSDK.h"
#include "process_threads.h"
#include "scripted_slave.h"
#include "api_test_support.h"

using namespace testing_support;

namespace {

// The context switches of some of the process's threads (Linux only).
long contextSwitches(const std::set<std::string>& ids) {
    long total = 0;
    for (const std::string& id : ids) {
        std::ifstream status("/proc/self/task/" + id + "/status");
        std::string line;
        while (std::getline(status, line)) {
            size_t colon = line.find(':');
            if (line.find("ctxt_switches") != std::string::npos && colon != std::string::npos) {
                total += std::stol(line.substr(colon + 1));
            }
        }
    }
    return total;
}

}  // namespace

TEST(RtuDevices, TwoRtuAndTwoAsciiDevicesFitButNotAThirdRtu) {
    PtyPair rtuA(50), rtuB(51), rtuC(52), asciiA(53), asciiB(54);
    for (PtyPair* p : {&rtuA, &rtuB, &rtuC, &asciiA, &asciiB})
        ASSERT_TRUE(p->ok());
    ScriptedSlave slaveA(rtuA), slaveB(rtuB), slaveAA(asciiA), slaveAB(asciiB);
    slaveA.answer(kRtuReadRequest, rtuIdentification(1)).start();
    slaveB.answer(kRtuReadRequest, rtuIdentification(2)).start();
    slaveAA.answer(kAsciiReadRequest, asciiFrame(identification(1, 3, 0, 0))).start();
    slaveAB.answer(kAsciiReadRequest, asciiFrame(identification(1, 4, 0, 0))).start();

    UPS_DeviceDescriptor a = makeDescriptor(50), b = makeDescriptor(51), c = makeDescriptor(52);
    UPS_DeviceDescriptor aa = makeDescriptor(53, 1), ab = makeDescriptor(54, 1);
    CloseAtEnd closers[] = {{&a}, {&b}, {&c}, {&aa}, {&ab}};
    UPS_DeviceInfo info = {};
    ASSERT_EQ(UPS_DeviceOpen(&a, &info), Success);
    EXPECT_EQ(info.deviceType, 1);
    ASSERT_EQ(UPS_DeviceOpen(&b, &info), Success);
    EXPECT_EQ(info.deviceType, 2);

    EXPECT_EQ(UPS_DeviceOpen(&c, &info), NoResource);
    EXPECT_EQ(c.handle, nullptr);
    EXPECT_EQ(c.lastResult, NoResource);
    expectQuietLine(rtuC);

    ASSERT_EQ(UPS_DeviceOpen(&aa, &info), Success);
    EXPECT_EQ(info.deviceType, 3);
    ASSERT_EQ(UPS_DeviceOpen(&ab, &info), Success);
    EXPECT_EQ(info.deviceType, 4);

    // Closing one RTU device makes room for the third.
    EXPECT_EQ(UPS_DeviceClose(&b), Success);
    ScriptedSlave slaveC(rtuC);
    slaveC.answer(kRtuReadRequest, rtuIdentification(5)).start();
    EXPECT_EQ(UPS_DeviceOpen(&c, &info), Success);
    EXPECT_EQ(info.deviceType, 5);
}

TEST(RtuDevices, NullAndClosedRecordsAreRefused) {
    uint16_t v = 0;
    EXPECT_EQ(UPS_DeviceOpen(nullptr, nullptr), InvalidArgument);
    EXPECT_EQ(UPS_DeviceClose(nullptr), InvalidArgument);
    EXPECT_EQ(UPS_ReadRegisters(nullptr, 40000, 1, &v), InvalidArgument);
    EXPECT_EQ(UPS_WriteRegisters(nullptr, 40000, 1, &v), InvalidArgument);

    UPS_DeviceDescriptor never = makeDescriptor(55);
    EXPECT_EQ(UPS_ReadRegisters(&never, 40000, 1, &v), InvalidArgument);
    EXPECT_EQ(never.lastResult, InvalidArgument);
    EXPECT_EQ(UPS_WriteRegisters(&never, 40000, 1, &v), InvalidArgument);
    EXPECT_EQ(UPS_DeviceClose(&never), Success);

    PtyPair pty(55);
    ASSERT_TRUE(pty.ok());
    ScriptedSlave slave(pty);
    slave.answer(kRtuReadRequest, rtuIdentification()).start();
    UPS_DeviceDescriptor d = makeDescriptor(55);
    ASSERT_EQ(UPS_DeviceOpen(&d, nullptr), Success);
    UPS_DeviceDescriptor stale = d;
    EXPECT_EQ(UPS_DeviceClose(&d), Success);
    EXPECT_EQ(d.handle, nullptr);
    EXPECT_EQ(d.lastResult, Success) << "close leaves lastResult alone";
    EXPECT_EQ(UPS_DeviceClose(&d), Success);
    EXPECT_EQ(UPS_ReadRegisters(&d, 40000, 1, &v), InvalidArgument);
    EXPECT_EQ(UPS_WriteRegisters(&d, 40000, 1, &v), InvalidArgument);
    // A copy of the handle taken while open is dead after the close.
    EXPECT_EQ(UPS_ReadRegisters(&stale, 40000, 1, &v), InvalidArgument);
    EXPECT_EQ(UPS_DeviceClose(&stale), Success);
    expectQuietLine(pty);
}

TEST(RtuDevices, ForeignHandlesAreRefusedWithoutBeingRead) {
    // Handles that were never the library's: an unmapped address, a stack
    // buffer, and a pointer into the middle of something. None may be read.
    uint64_t buffer[8] = {0};
    void* foreign[] = {reinterpret_cast<void*>(0x10), buffer, reinterpret_cast<char*>(buffer) + 3};
    for (void* handle : foreign) {
        UPS_DeviceDescriptor d = makeDescriptor(56);
        d.handle = handle;
        uint16_t v = 7;
        EXPECT_EQ(UPS_ReadRegisters(&d, 40000, 1, &v), InvalidArgument);
        EXPECT_EQ(UPS_WriteRegisters(&d, 40000, 1, &v), InvalidArgument);
        EXPECT_EQ(v, 7);
        EXPECT_EQ(UPS_DeviceClose(&d), Success);
        EXPECT_EQ(d.handle, nullptr);
    }

    // A record holding garbage opens normally.
    PtyPair pty(56);
    ASSERT_TRUE(pty.ok());
    ScriptedSlave slave(pty);
    slave.answer(kRtuReadRequest, rtuIdentification()).start();
    UPS_DeviceDescriptor d = makeDescriptor(56);
    d.handle = buffer;
    CloseAtEnd closer{&d};
    EXPECT_EQ(UPS_DeviceOpen(&d, nullptr), Success);
    EXPECT_NE(d.handle, static_cast<void*>(buffer));
}

TEST(RtuDevices, OpeningAnOpenRecordAgainReplacesItsDevice) {
    // More reopens than there are master instances: each must give the old
    // instance and its port back, or the pool runs dry.
    PtyPair pty(57);
    ASSERT_TRUE(pty.ok());
    ScriptedSlave slave(pty);
    slave.repeat(kRtuReadRequest, rtuIdentification(), 7).start();
    UPS_DeviceDescriptor d = makeDescriptor(57);
    CloseAtEnd closer{&d};
    for (int i = 0; i < 7; ++i) {
        ASSERT_EQ(UPS_DeviceOpen(&d, nullptr), Success) << "open " << i;
    }
    int before = threadCount();
    EXPECT_EQ(UPS_DeviceClose(&d), Success);
    EXPECT_LT(threadCount(), before);
}

TEST(RtuDevices, LastCloseEndsEveryLibraryThreadAndANewOpenWorks) {
    PtyPair rtu(56), ascii(57);
    ASSERT_TRUE(rtu.ok());
    ASSERT_TRUE(ascii.ok());
    // Counted as threads not there before: a sanitizer's own background thread
    // may come and go meanwhile and must not count for or against the library.
    const std::set<std::string> before = threadIds();
    auto newThreads = [&before] {
        int n = 0;
        for (const std::string& id : threadIds())
            n += before.count(id) == 0 ? 1 : 0;
        return n;
    };
    {
        ScriptedSlave rtuSlave(rtu), asciiSlave(ascii);
        rtuSlave.answer(kRtuReadRequest, rtuIdentification()).start();
        asciiSlave.answer(kAsciiReadRequest, asciiFrame(identification(1, 1, 2, 3))).start();
        UPS_DeviceDescriptor a = makeDescriptor(56), b = makeDescriptor(57, 1);
        CloseAtEnd closeA{&a}, closeB{&b};
        ASSERT_EQ(UPS_DeviceOpen(&a, nullptr), Success);
        ASSERT_EQ(UPS_DeviceOpen(&b, nullptr), Success);
        rtuSlave.join();
        asciiSlave.join();
        // A timer thread and one thread per port.
        EXPECT_GE(newThreads(), 3);
        EXPECT_EQ(UPS_DeviceClose(&a), Success);
        EXPECT_EQ(UPS_DeviceClose(&b), Success);
    }
    // An ended thread may linger in /proc for a moment after it was joined.
    int left = newThreads();
    for (int i = 0; i < 100 && left > 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        left = newThreads();
    }
    EXPECT_EQ(left, 0) << "library threads left after the last close";

    // The shared services start again with the next open.
    ScriptedSlave slave(rtu);
    slave.answer(kRtuReadRequest, rtuIdentification())
        .answer(kRtuReadRequest, withCrc(readAnswer(1, {9})))
        .start();
    UPS_DeviceDescriptor d = makeDescriptor(56);
    CloseAtEnd closer{&d};
    ASSERT_EQ(UPS_DeviceOpen(&d, nullptr), Success);
    uint16_t v = 0;
    EXPECT_EQ(UPS_ReadRegisters(&d, 40000, 1, &v), Success);
    EXPECT_EQ(v, 9);
}

// Neither idle time nor the caller's own reads may wake the library's threads:
// a poll every few milliseconds for weeks must not cost two hand-offs a read.
TEST(RtuDevices, TheLibraryThreadsSleepWhileADeviceIsIdleAndWhileItsCallerReads) {
#ifdef _WIN32
    GTEST_SKIP() << "context switches are counted from /proc";
#endif
    const int kReads = 20;
    PtyPair pty(63);
    ASSERT_TRUE(pty.ok());
    ScriptedSlave slave(pty);
    slave.answer(kRtuReadRequest, rtuIdentification())
        .repeat(kRtuReadRequest, withCrc(readAnswer(1, {7})), kReads)
        .start();
    const std::set<std::string> before = threadIds();
    UPS_DeviceDescriptor d = makeDescriptor(63);
    CloseAtEnd closer{&d};
    ASSERT_EQ(UPS_DeviceOpen(&d, nullptr), Success);
    std::set<std::string> library;
    for (const std::string& id : threadIds()) {
        if (before.count(id) == 0) library.insert(id);
    }
    ASSERT_EQ(library.size(), 2u);  // the timer thread and the port thread
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    long start = contextSwitches(library);
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    // A 10 ms tick or a 100 ms port wait would wake them 110 times here.
    EXPECT_LT(contextSwitches(library) - start, 5);

    start = contextSwitches(library);
    int good = 0;
    for (int i = 0; i < kReads; ++i) {
        uint16_t v = 0;
        if (UPS_ReadRegisters(&d, 40000, 1, &v) == Success && v == 7) ++good;
    }
    EXPECT_EQ(good, kReads);
    // Handing each exchange to the port thread and back would take 2 a read.
    EXPECT_LT(contextSwitches(library) - start, 5);
}

TEST(RtuDevices, RequestsOnTwoDevicesRunInParallelThreads) {
    const int kRounds = 30;
    PtyPair ptyA(58), ptyB(59);
    ASSERT_TRUE(ptyA.ok());
    ASSERT_TRUE(ptyB.ok());
    ScriptedSlave slaveA(ptyA), slaveB(ptyB);
    slaveA.answer(kRtuReadRequest, rtuIdentification(0xA))
        .repeat(kRtuReadRequest, withCrc(readAnswer(1, {0xAAAA, 0x0A0A})), kRounds)
        .start();
    slaveB.answer(kRtuReadRequest, rtuIdentification(0xB))
        .repeat(kRtuReadRequest, withCrc(readAnswer(1, {0xBBBB, 0x0B0B})), kRounds)
        .start();
    UPS_DeviceDescriptor a = makeDescriptor(58), b = makeDescriptor(59);
    CloseAtEnd closeA{&a}, closeB{&b};
    ASSERT_EQ(UPS_DeviceOpen(&a, nullptr), Success);
    ASSERT_EQ(UPS_DeviceOpen(&b, nullptr), Success);

    std::atomic<int> go{0};
    auto reader = [&](UPS_DeviceDescriptor* d, uint16_t first, uint16_t second, int* good) {
        while (go.load() == 0)
            std::this_thread::yield();
        for (int i = 0; i < kRounds; ++i) {
            uint16_t v[2] = {0, 0};
            if (UPS_ReadRegisters(d, 40000, 2, v) == Success && v[0] == first && v[1] == second) {
                ++*good;
            }
        }
    };
    int goodA = 0, goodB = 0;
    std::thread threadA(reader, &a, 0xAAAA, 0x0A0A, &goodA);
    std::thread threadB(reader, &b, 0xBBBB, 0x0B0B, &goodB);
    go.store(1);
    threadA.join();
    threadB.join();
    EXPECT_EQ(goodA, kRounds);
    EXPECT_EQ(goodB, kRounds);
}

TEST(RtuDevices, CloseRacingReadsOnOneRecordWaitsForTheRequestInFlight) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__) || defined(_WIN32)
    // Under Wine a close waits 0.1 to 4 s for the two pollers to let go.
    const int kRounds = 40;
#else
    const int kRounds = 300;
#endif
    // On one CPU a woken library thread (real-time where that is allowed) runs
    // at once, before its waker goes on: a port thread then ends and frees
    // its slot while the close that woke it is still in its signal.
#ifdef _WIN32
    struct RestoreAffinity {
        DWORD_PTR mask;
        ~RestoreAffinity() { SetThreadAffinityMask(GetCurrentThread(), mask); }
    } restore{
        SetThreadAffinityMask(GetCurrentThread(), (DWORD_PTR)1 << GetCurrentProcessorNumber())};
    ASSERT_NE(restore.mask, 0u);
#else
    cpu_set_t saved;
    ASSERT_EQ(pthread_getaffinity_np(pthread_self(), sizeof saved, &saved), 0);
    struct RestoreAffinity {
        cpu_set_t mask;
        ~RestoreAffinity() { pthread_setaffinity_np(pthread_self(), sizeof mask, &mask); }
    } restore{saved};
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(sched_getcpu(), &one);
    ASSERT_EQ(pthread_setaffinity_np(pthread_self(), sizeof one, &one), 0);
#endif

    PtyPair pty(62);
    ASSERT_TRUE(pty.ok());
    // Every request here is the same read of registers 0..2; answer each one.
    std::atomic<bool> stop{false};
    std::thread responder([&] {
        const Bytes answer = rtuIdentification(301, 2, 3);
        size_t pending = 0;
        while (!stop.load()) {
            Bytes got = pty.read(0, 20, 1);
            for (pending += got.size(); pending >= kRtuReadRequest; pending -= kRtuReadRequest)
                pty.write(answer);
        }
    });

    // Two pollers share the record with the thread that closes it, as the
    // program's poller and window do.
    // A time-out far beyond any stall of a loaded machine.
    UPS_DeviceDescriptor d = makeDescriptor(62, 0, 1, 10000);
    std::atomic<int> wrong{0};
    auto poller = [&] {
        for (;;) {
            uint16_t v[3] = {0, 0, 0};
            ResultCode rc = UPS_ReadRegisters(&d, 40000, 3, v);
            if (rc == InvalidArgument) return;  // closed
            if (rc != Success || v[0] != 301 || v[1] != 2 || v[2] != 3) ++wrong;
        }
    };
    for (int round = 0; round < kRounds && wrong.load() == 0; ++round) {
        ASSERT_EQ(UPS_DeviceOpen(&d, nullptr), Success) << round;
        std::thread a(poller), b(poller);
        std::this_thread::sleep_for(std::chrono::microseconds(500 * (round % 7)));
        EXPECT_EQ(UPS_DeviceClose(&d), Success);
        a.join();
        b.join();
    }
    stop.store(true);
    responder.join();
    EXPECT_EQ(wrong.load(), 0) << "a request was disturbed by another or by the close";
}
