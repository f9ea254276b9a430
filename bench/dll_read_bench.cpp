// Latency and CPU time of status reads (50 registers) through the four
// exported functions, built for Linux and for Windows alike, so that the DLL
// under Wine and the shared library on Linux can be measured against the same
// upssim. Prints one line; it is not a test.
//
//   dll_read_bench PORT [READS]     (RTU, 115200 baud, slave 1)
#include <stdio.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/resource.h>
#endif

#include "QXUPSSDK.h"

namespace {

// CPU time of the whole process (every thread), in ms.
double cpuMs() {
#ifdef _WIN32
    FILETIME created, ended, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &ended, &kernel, &user);
    auto ms = [](const FILETIME& t) {
        return (double)(((uint64_t)t.dwHighDateTime << 32) | t.dwLowDateTime) / 10000.0;
    };
    return ms(kernel) + ms(user);
#else
    struct rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec * 1000.0 + usage.ru_utime.tv_usec / 1000.0 +
           usage.ru_stime.tv_sec * 1000.0 + usage.ru_stime.tv_usec / 1000.0;
#endif
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        fprintf(stderr, "usage: dll_read_bench PORT [READS]\n");
        return 64;
    }
    int reads = argc > 2 ? atoi(argv[2]) : 300;
    UPS_DeviceDescriptor d = {};
    d.portNumber = (uint8_t)atoi(argv[1]);
    d.slaveAddress = 1;
    d.baudRate = 115200;
    d.responseTimeoutMs = 1000;
    int rc = UPS_DeviceOpen(&d, nullptr);
    if (rc != Success) {
        fprintf(stderr, "dll_read_bench: open failed (%d)\n", rc);
        return 1;
    }
    std::vector<double> latencies;
    int failures = 0;
    double cpu0 = cpuMs();
    auto t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < reads; ++i) {
        uint16_t block[50];
        auto start = std::chrono::steady_clock::now();
        if (UPS_ReadRegisters(&d, 40000, 50, block) != Success) ++failures;
        latencies.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count());
    }
    double wallMs =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    double cpu = cpuMs() - cpu0;
    UPS_DeviceClose(&d);
    std::sort(latencies.begin(), latencies.end());
    printf("%d reads, %d failed: latency median %.2f ms, p99 %.2f ms, max %.2f ms; "
           "CPU %.3f ms per read (%.1f %% of %.0f ms)\n",
           reads, failures, latencies[latencies.size() / 2], latencies[latencies.size() * 99 / 100],
           latencies.back(), cpu / reads, 100.0 * cpu / wallMs, wallMs);
    return failures == 0 ? 0 : 1;
}
