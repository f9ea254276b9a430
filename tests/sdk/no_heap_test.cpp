// The library allocates nothing per request: reads and writes in steady state,
// in every thread of the process (caller, port thread, timer thread), make no
// heap allocation. The test counts calls into the allocator around them.
#include <gtest/gtest.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include "QXUPSSDK.h"
#include "pty_pair.h"

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define QXUPS_SANITIZED 1
#else
#define QXUPS_SANITIZED 0
#endif

#if !QXUPS_SANITIZED
extern "C" void* __libc_malloc(size_t size);
extern "C" void* __libc_calloc(size_t count, size_t size);
extern "C" void* __libc_realloc(void* p, size_t size);

static std::atomic<bool> g_counting{false};
static std::atomic<int> g_allocations{0};

static void noteAllocation() {
    if (g_counting.load(std::memory_order_relaxed)) g_allocations.fetch_add(1);
}

extern "C" void* malloc(size_t size) {
    noteAllocation();
    return __libc_malloc(size);
}
extern "C" void* calloc(size_t count, size_t size) {
    noteAllocation();
    return __libc_calloc(count, size);
}
extern "C" void* realloc(void* p, size_t size) {
    noteAllocation();
    return __libc_realloc(p, size);
}
#endif

using namespace testing_support;

namespace {

// A slave that allocates nothing itself once running: fixed buffers, raw I/O.
// It answers reads of n registers and echoes writes, until told to stop.
[[maybe_unused]] void serve(int fd, const std::atomic<bool>* stop) {
    uint8_t request[300];
    uint8_t answer[300];
    size_t have = 0;
    while (!stop->load()) {
        struct pollfd pfd = {fd, POLLIN, 0};
        if (poll(&pfd, 1, 20) <= 0) continue;
        ssize_t n = read(fd, request + have, sizeof request - have);
        if (n <= 0) continue;
        have += (size_t)n;
        size_t need = 8;
        if (have >= 7 && request[1] == 0x10) need = 9 + request[6];
        if (have < need) continue;
        size_t length = 0;
        answer[length++] = request[0];
        answer[length++] = request[1];
        if (request[1] == 0x03) {
            uint8_t count = request[5];
            answer[length++] = (uint8_t)(2 * count);
            for (uint8_t i = 0; i < count; ++i) {
                answer[length++] = 0x12;
                answer[length++] = i;
            }
        } else {
            for (int i = 2; i < 6; ++i)
                answer[length++] = request[i];
        }
        uint16_t crc = crc16(answer, length);
        answer[length++] = (uint8_t)(crc & 0xFF);
        answer[length++] = (uint8_t)(crc >> 8);
        size_t done = 0;
        while (done < length) {
            ssize_t w = write(fd, answer + done, length - done);
            if (w > 0) done += (size_t)w;
        }
        have = 0;
    }
}

}  // namespace

TEST(NoHeap, RequestsInSteadyStateAllocateNothing) {
#if QXUPS_SANITIZED
    GTEST_SKIP() << "the sanitizers bring their own allocator";
#else
    PtyPair pty(60);
    ASSERT_TRUE(pty.ok());
    std::atomic<bool> stop{false};
    std::thread slave(serve, pty.master(), &stop);

    UPS_DeviceDescriptor d = {};
    d.portNumber = 60;
    d.slaveAddress = 1;
    d.baudRate = 115200;
    d.responseTimeoutMs = 1000;
    ASSERT_EQ(UPS_DeviceOpen(&d, nullptr), Success);

    uint16_t values[50] = {0};
    uint16_t written[3] = {1, 2, 3};
    ASSERT_EQ(UPS_ReadRegisters(&d, 40000, 50, values), Success);  // warm-up
    g_allocations = 0;
    g_counting = true;
    int failures = 0;
    for (int i = 0; i < 100; ++i) {
        if (UPS_ReadRegisters(&d, 40000, 50, values) != Success) ++failures;
        if (UPS_WriteRegisters(&d, 40036, 3, written) != Success) ++failures;
    }
    g_counting = false;
    int allocations = g_allocations.load();

    EXPECT_EQ(failures, 0);
    EXPECT_EQ(values[49], 0x1231);
    EXPECT_EQ(allocations, 0) << "heap allocations during 200 requests";
    UPS_DeviceClose(&d);
    stop = true;
    slave.join();
#endif
}
