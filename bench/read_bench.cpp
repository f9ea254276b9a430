// Measures a 50-register status read (registers 40000..40049) through
// UPS_ReadRegisters against the simulator on a pseudo terminal, unpaced and
// paced at 115200 and 9600 baud, beside the physical minimum of the wire and
// beside libmodbus doing the same reads as the master against the same
// simulator: latency, the process's CPU time per read (getrusage, every
// thread) and its system calls per read (every thread, counted by strace in a
// second pass, since tracing slows the calls it counts), with reads back to
// back and with the program's pause between polls. Last, the wake-ups per
// second of the library's threads while a device is open and idle. Prints
// tables; it is not a test.
//
//   read_bench [--reads N] [--upssim PATH] [--no-strace]
#include <errno.h>
#include <fcntl.h>
#include <modbus.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <dirent.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "QXUPSSDK.h"

namespace {

const unsigned kPortNumber = 77;
const int kCount = 50;

struct Simulator {
    pid_t pid = -1;
    FILE* out = nullptr;
    std::string link;
};

double nowMs() {
    return std::chrono::duration<double, std::milli>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

bool startSimulator(const std::string& upssim, unsigned baud, bool pace, Simulator* sim) {
    char dir[] = "/tmp/qxups-bench-XXXXXX";
    if (mkdtemp(dir) == nullptr) return false;
    sim->link = std::string(dir) + "/line";
    int toParent[2];
    int toChild[2];
    if (pipe(toParent) != 0 || pipe(toChild) != 0) return false;
    sim->pid = fork();
    if (sim->pid == 0) {
        dup2(toChild[0], 0);
        dup2(toParent[1], 1);
        close(toParent[0]);
        close(toChild[1]);
        std::string b = std::to_string(baud);
        std::vector<const char*> argv = {upssim.c_str(), "--pty", sim->link.c_str(), "--baud",
                                         b.c_str()};
        if (pace) argv.push_back("--pace");
        argv.push_back(nullptr);
        execv(upssim.c_str(), const_cast<char* const*>(argv.data()));
        _exit(127);
    }
    close(toParent[1]);
    close(toChild[0]);
    sim->out = fdopen(toParent[0], "r");
    char line[512];
    if (sim->out == nullptr || fgets(line, sizeof line, sim->out) == nullptr ||
        strncmp(line, "ready ", 6) != 0) {
        fprintf(stderr, "upssim did not become ready\n");
        return false;
    }
    return true;
}

void stopSimulator(Simulator* sim) {
    if (sim->pid > 0) {
        kill(sim->pid, SIGTERM);
        waitpid(sim->pid, nullptr, 0);
    }
    if (sim->out != nullptr) fclose(sim->out);
    std::string dir = sim->link.substr(0, sim->link.rfind('/'));
    unlink(sim->link.c_str());
    rmdir(dir.c_str());
}

struct Stats {
    int reads = 0;
    int failures = 0;
    double median = 0;
    double p99 = 0;
    double cpuMs = 0;      // user + system of the whole process, per read
    double switches = 0;   // context switches of the whole process, per read
    double syscalls = -1;  // per read, every thread; -1 when not counted
};

double cpuNowMs() {
    struct rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000.0 +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000.0;
}

// Voluntary and involuntary context switches of every thread of the process.
long switchesNow() {
    struct rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_nvcsw + usage.ru_nivcsw;
}

// Counts the system calls of every thread of this process (those started later
// included) with strace, from start() to stop().
class SyscallCounter {
public:
    bool start() {
        char name[] = "/tmp/qxups-strace-XXXXXX";
        int fd = mkstemp(name);
        if (fd < 0) return false;
        close(fd);
        m_file = name;
        prctl(PR_SET_PTRACER, PR_SET_PTRACER_ANY, 0, 0, 0);
        std::string self = std::to_string(getpid());
        m_pid = fork();
        if (m_pid == 0) {
            int null = open("/dev/null", O_WRONLY);
            if (null >= 0) dup2(null, 2);
            execlp("strace", "strace", "-f", "-c", "-o", m_file.c_str(), "-p", self.c_str(),
                   (char*)nullptr);
            _exit(127);
        }
        if (m_pid < 0) return false;
        // Attached once this process has a tracer.
        for (int i = 0; i < 500; ++i) {
            if (tracerPid() != 0) return true;
            usleep(10000);
        }
        stop();
        return false;
    }
    // Total calls counted, or -1.
    long stop() {
        if (m_pid <= 0) return -1;
        kill(m_pid, SIGINT);
        waitpid(m_pid, nullptr, 0);
        m_pid = -1;
        long total = -1;
        FILE* f = fopen(m_file.c_str(), "r");
        char line[512];
        while (f != nullptr && fgets(line, sizeof line, f) != nullptr) {
            // "100.00    0.001234           3       456        12 total"
            if (strstr(line, " total") == nullptr) continue;
            double pct = 0, seconds = 0;
            long usecs = 0, calls = 0;
            if (sscanf(line, "%lf %lf %ld %ld", &pct, &seconds, &usecs, &calls) == 4) total = calls;
        }
        if (f != nullptr) fclose(f);
        unlink(m_file.c_str());
        return total;
    }

private:
    static long tracerPid() {
        FILE* f = fopen("/proc/self/status", "r");
        char line[256];
        long pid = 0;
        while (f != nullptr && fgets(line, sizeof line, f) != nullptr) {
            if (strncmp(line, "TracerPid:", 10) == 0) pid = atol(line + 10);
        }
        if (f != nullptr) fclose(f);
        return pid;
    }
    pid_t m_pid = -1;
    std::string m_file;
};

bool g_countSyscalls = true;

Stats summarise(std::vector<double> samples, int failures) {
    Stats s;
    s.failures = failures;
    s.reads = (int)samples.size();
    if (samples.empty()) return s;
    std::sort(samples.begin(), samples.end());
    s.median = samples[samples.size() / 2];
    size_t p99 = (size_t)((samples.size() - 1) * 0.99 + 0.5);
    s.p99 = samples[std::min(p99, samples.size() - 1)];
    return s;
}

void pauseMs(int ms) {
    if (ms > 0) usleep((useconds_t)ms * 1000);
}

// Latency samples and CPU time of one master, gathered over several blocks.
struct Timing {
    std::vector<double> samples;
    int failures = 0;
    // Per read, one value for each block: the median of them stands for the
    // master, so that a noisy moment of the shared machine in one block does
    // not decide the comparison.
    std::vector<double> blockCpuMs;
    std::vector<double> blockSwitches;
};

double medianOf(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// Times `reads` calls of readOnce (true when the read succeeded), pauseMs
// apart, and the process's CPU time over them.
template <typename ReadOnce>
void timeReads(Timing* timing, int reads, int pause, ReadOnce readOnce) {
    double cpuStart = cpuNowMs();
    long switchStart = switchesNow();
    for (int i = 0; i < reads; ++i) {
        pauseMs(pause);
        double start = nowMs();
        bool ok = readOnce();
        double spent = nowMs() - start;
        if (ok) {
            timing->samples.push_back(spent);
        } else {
            ++timing->failures;
        }
    }
    if (reads <= 0) return;
    timing->blockCpuMs.push_back((cpuNowMs() - cpuStart) / reads);
    timing->blockSwitches.push_back((double)(switchesNow() - switchStart) / reads);
}

// System calls per read of `reads` calls under strace; -1 when not counted.
template <typename ReadOnce>
double countSyscalls(int reads, int pause, ReadOnce readOnce) {
    SyscallCounter counter;
    if (!g_countSyscalls || reads <= 0 || !counter.start()) return -1;
    for (int i = 0; i < reads; ++i) {
        pauseMs(pause);
        readOnce();
    }
    long calls = counter.stop();
    return calls >= 0 ? (double)calls / reads : -1;
}

Stats finish(const Timing& timing, double syscalls) {
    Stats stats = summarise(timing.samples, timing.failures);
    stats.cpuMs = medianOf(timing.blockCpuMs);
    stats.switches = medianOf(timing.blockSwitches);
    stats.syscalls = syscalls;
    return stats;
}

// Context switches (voluntary and not) of every thread but the calling one.
long otherThreadSwitches() {
    std::string self = std::to_string(gettid());
    long total = 0;
    DIR* dir = opendir("/proc/self/task");
    if (dir == nullptr) return -1;
    while (struct dirent* e = readdir(dir)) {
        if (e->d_name[0] == '.' || self == e->d_name) continue;
        FILE* f = fopen(("/proc/self/task/" + std::string(e->d_name) + "/status").c_str(), "r");
        char line[256];
        while (f != nullptr && fgets(line, sizeof line, f) != nullptr) {
            if (strstr(line, "ctxt_switches:") != nullptr) total += atol(strchr(line, ':') + 1);
        }
        if (f != nullptr) fclose(f);
    }
    closedir(dir);
    return total;
}

// One block of reads through the library: timed (timing given) or counted
// under strace (returns the system calls per read).
double benchLibrary(const Simulator& sim, unsigned baud, int reads, int pause, Timing* timing) {
    setenv(("QXUPS_COM" + std::to_string(kPortNumber)).c_str(), sim.link.c_str(), 1);
    UPS_DeviceDescriptor device = {};
    device.portNumber = kPortNumber;
    device.slaveAddress = 1;
    device.baudRate = baud;
    device.responseTimeoutMs = 1000;
    if (UPS_DeviceOpen(&device, nullptr) != Success) {
        fprintf(stderr, "UPS_DeviceOpen failed: %d\n", device.lastResult);
        return -1;
    }
    uint16_t values[kCount];
    auto readOnce = [&] { return UPS_ReadRegisters(&device, 40000, kCount, values) == Success; };
    double syscalls = -1;
    if (timing != nullptr) {
        timeReads(timing, reads, pause, readOnce);
    } else {
        syscalls = countSyscalls(reads, pause, readOnce);
    }
    UPS_DeviceClose(&device);
    return syscalls;
}

// The same block through libmodbus. With turnaround it also keeps the library's
// slave turnaround: before a request it sleeps what is left of 2 ms since the
// end of its last answer.
double benchLibmodbus(const Simulator& sim, unsigned baud, int reads, int pause, Timing* timing,
                      bool turnaround = false) {
    modbus_t* ctx = modbus_new_rtu(sim.link.c_str(), (int)baud, 'N', 8, 2);
    if (ctx == nullptr) return -1;
    modbus_set_slave(ctx, 1);
    modbus_set_response_timeout(ctx, 1, 0);
    if (modbus_connect(ctx) != 0) {
        fprintf(stderr, "modbus_connect failed: %s\n", modbus_strerror(errno));
        modbus_free(ctx);
        return -1;
    }
    uint16_t values[kCount];
    double lastAnswer = -1e9;
    auto readOnce = [&] {
        double since = nowMs() - lastAnswer;
        if (turnaround && since < 2.0) usleep((useconds_t)((2.0 - since) * 1000));
        bool ok = modbus_read_registers(ctx, 0, kCount, values) == kCount;
        lastAnswer = nowMs();
        return ok;
    };
    double syscalls = -1;
    if (timing != nullptr) {
        timeReads(timing, reads, pause, readOnce);
    } else {
        syscalls = countSyscalls(reads, pause, readOnce);
    }
    modbus_close(ctx);
    modbus_free(ctx);
    return syscalls;
}

// Wake-ups per second of the library's threads while a device is open and
// idle: their context switches over a few seconds.
double idleWakeupsPerSecond(const Simulator& sim) {
    setenv(("QXUPS_COM" + std::to_string(kPortNumber)).c_str(), sim.link.c_str(), 1);
    UPS_DeviceDescriptor device = {};
    device.portNumber = kPortNumber;
    device.slaveAddress = 1;
    device.baudRate = 115200;
    device.responseTimeoutMs = 1000;
    if (UPS_DeviceOpen(&device, nullptr) != Success) return -1;
    uint16_t values[kCount];
    UPS_ReadRegisters(&device, 40000, kCount, values);
    usleep(100000);  // let the threads settle after the read
    const int seconds = 3;
    long before = otherThreadSwitches();
    sleep(seconds);
    long after = otherThreadSwitches();
    UPS_DeviceClose(&device);
    return (double)(after - before) / seconds;
}

double characterMs(unsigned baud) {
    return 11000.0 / baud;
}
// The 3.5-character silent interval, 1.75 ms above 19200 baud.
double silenceMs(unsigned baud) {
    return baud > 19200 ? 1.75 : 3.5 * characterMs(baud);
}

// A real line: request 8 bytes and answer 5 + 2*50 bytes at 11 bits per
// character, plus the silent interval before each.
double wireMinimumMs(unsigned baud) {
    return (8 + 5 + 2 * kCount) * characterMs(baud) + 2 * silenceMs(baud);
}

// On a pseudo terminal only the simulator paces its side: the answer and the
// silent interval before it. The request leaves at memory speed.
double ptyMinimumMs(unsigned baud) {
    return (5 + 2 * kCount) * characterMs(baud) + silenceMs(baud);
}

std::string directoryOf(const char* path) {
    std::string p(path);
    size_t slash = p.rfind('/');
    return slash == std::string::npos ? "." : p.substr(0, slash);
}

}  // namespace

int main(int argc, char** argv) {
    int reads = 200;
    std::string upssim = directoryOf(argv[0]) + "/upssim";
    for (int i = 1; i < argc; ++i) {
        if (strcmp(argv[i], "--no-strace") == 0) g_countSyscalls = false;
        if (i + 1 >= argc) continue;
        if (strcmp(argv[i], "--reads") == 0) reads = atoi(argv[i + 1]);
        if (strcmp(argv[i], "--upssim") == 0) upssim = argv[i + 1];
    }
    struct Case {
        const char* name;
        unsigned baud;
        bool pace;
        int pause;  // ms between reads
        int reads;
    };
    // 20 ms: the status page's shortest poll cycle.
    const Case cases[] = {
        {"unpaced", 115200, false, 0, reads},
        {"unpaced", 115200, false, 20, reads},
        {"paced", 115200, true, 0, reads},
        {"paced", 9600, true, 0, std::max(20, reads / 5)},
    };

    printf("50-register read (40000..40049), per read: times and CPU in ms, system calls\n\n");
    printf("%-8s %6s %5s | %-13s %5s %7s %7s %8s %8s %8s | %8s %8s %7s | %8s %8s\n", "line", "baud",
           "pause", "master", "reads", "median", "p99", "cpu", "switches", "syscalls", "wire min",
           "pty min", "med/pty", "lat ours", "cpu ours");
    printf("%-8s %6s %5s | %-13s %5s %7s %7s %8s %8s %8s | %8s %8s %7s | %8s %8s\n", "", "", "ms",
           "", "", "", "", "", "", "", "", "", "", "/row", "/row");
    for (const Case& c : cases) {
        Simulator sim;
        if (!startSimulator(upssim, c.baud, c.pace, &sim)) {
            stopSimulator(&sim);
            return 1;
        }
        // Without a pause every read meets the library's 2 ms slave turnaround;
        // libmodbus keeping the same turnaround is the like-for-like reference.
        const bool withTurnaround = c.pause < 2;
        // The masters take turns in blocks, so that a change in the load of the
        // machine falls on all alike.
        const int kBlocks = 10;
        Timing ourTiming, refTiming, turnTiming;
        for (int block = 0; block < kBlocks; ++block) {
            int n = c.reads / kBlocks + (block < c.reads % kBlocks ? 1 : 0);
            benchLibrary(sim, c.baud, n, c.pause, &ourTiming);
            benchLibmodbus(sim, c.baud, n, c.pause, &refTiming);
            if (withTurnaround) benchLibmodbus(sim, c.baud, n, c.pause, &turnTiming, true);
        }
        int traced = std::max(20, c.reads / 4);
        Stats ours = finish(ourTiming, benchLibrary(sim, c.baud, traced, c.pause, nullptr));
        Stats ref = finish(refTiming, benchLibmodbus(sim, c.baud, traced, c.pause, nullptr));
        Stats turn = finish(turnTiming, -1);
        stopSimulator(&sim);
        char wireText[32] = "-";
        char ptyText[32] = "-";
        char ratioText[32] = "-";
        if (c.pace) {
            snprintf(wireText, sizeof wireText, "%.2f", wireMinimumMs(c.baud));
            snprintf(ptyText, sizeof ptyText, "%.2f", ptyMinimumMs(c.baud));
            snprintf(ratioText, sizeof ratioText, "%.2f", ours.median / ptyMinimumMs(c.baud));
        }
        const Stats* rows[3] = {&ours, &ref, &turn};
        const char* names[3] = {"QXUPSSDK", "libmodbus", "libmodbus+2ms"};
        for (int r = 0; r < (withTurnaround ? 3 : 2); ++r) {
            const Stats& st = *rows[r];
            char calls[32] = "-";
            if (st.syscalls >= 0) snprintf(calls, sizeof calls, "%.1f", st.syscalls);
            // Each reference row shows how the library compares with it.
            char latRatio[32] = "";
            char cpuRatio[32] = "";
            if (r > 0 && st.median > 0 && st.cpuMs > 0) {
                snprintf(latRatio, sizeof latRatio, "%.2f", ours.median / st.median);
                snprintf(cpuRatio, sizeof cpuRatio, "%.2f", ours.cpuMs / st.cpuMs);
            }
            printf("%-8s %6u %5d | %-13s %5d %7.2f %7.2f %8.3f %8.2f %8s | %8s %8s %7s | %8s %8s\n",
                   r == 0 ? c.name : "", c.baud, c.pause, names[r], st.reads, st.median, st.p99,
                   st.cpuMs, st.switches, calls, r == 0 ? wireText : "", r == 0 ? ptyText : "",
                   r == 0 ? ratioText : "", latRatio, cpuRatio);
        }
        if (ours.failures != 0 || ref.failures != 0 || turn.failures != 0) {
            printf("  failures: QXUPSSDK %d, libmodbus %d, libmodbus+2ms %d\n", ours.failures,
                   ref.failures, turn.failures);
        }
    }

    Simulator sim;
    if (startSimulator(upssim, 115200, false, &sim)) {
        printf("\nLibrary threads while a device is open and idle: %.1f wake-ups per second\n",
               idleWakeupsPerSecond(sim));
    }
    stopSimulator(&sim);
    printf(
        "\nThe masters take turns in ten blocks of reads. cpu: user + system time of the\n"
        "whole process (every thread) per read; switches: its context switches per read\n"
        "(getrusage); both the median over the blocks. syscalls: system calls of every thread\n"
        "per read, counted by strace -f -c in a second pass\n"
        "(a pause adds the benchmark's own sleep, one call). wire min: request and answer\n"
        "on a real line; pty min: the part the simulator paces on a pseudo terminal (answer\n"
        "and one silent interval). The library pauses 2 ms before a write that follows a\n"
        "reception (slave turnaround), which back-to-back reads meet every time;\n"
        "libmodbus+2ms is libmodbus keeping the same turnaround. The ratio columns\n"
        "compare the library with the row they stand on. Wake-ups:\n"
        "context switches of the library's threads over %d s, counted in /proc.\n",
        3);
    return 0;
}
