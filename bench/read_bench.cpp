// Measures a 50-register status read (registers 40000..40049) through
// UPS_ReadRegisters against the simulator on a pseudo terminal, unpaced and
// paced at 115200 and 9600 baud, beside the physical minimum of the wire and
// beside libmodbus doing the same reads as the master against the same
// simulator. Prints a table; it is not a test.
//
//   read_bench [--reads N] [--upssim PATH]
#include <errno.h>
#include <modbus.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
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
};

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

// Times `reads` calls of readOnce (true when the read succeeded).
template <typename ReadOnce>
Stats timeReads(int reads, ReadOnce readOnce) {
    std::vector<double> samples;
    int failures = 0;
    for (int i = 0; i < reads; ++i) {
        double start = nowMs();
        bool ok = readOnce();
        double spent = nowMs() - start;
        if (ok) {
            samples.push_back(spent);
        } else {
            ++failures;
        }
    }
    return summarise(samples, failures);
}

Stats benchLibrary(const Simulator& sim, unsigned baud, int reads) {
    setenv(("QXUPS_COM" + std::to_string(kPortNumber)).c_str(), sim.link.c_str(), 1);
    UPS_DeviceDescriptor device = {};
    device.portNumber = kPortNumber;
    device.slaveAddress = 1;
    device.baudRate = baud;
    device.responseTimeoutMs = 1000;
    if (UPS_DeviceOpen(&device, nullptr) != Success) {
        fprintf(stderr, "UPS_DeviceOpen failed: %d\n", device.lastResult);
        return Stats();
    }
    uint16_t values[kCount];
    Stats stats = timeReads(
        reads, [&] { return UPS_ReadRegisters(&device, 40000, kCount, values) == Success; });
    UPS_DeviceClose(&device);
    return stats;
}

Stats benchLibmodbus(const Simulator& sim, unsigned baud, int reads) {
    modbus_t* ctx = modbus_new_rtu(sim.link.c_str(), (int)baud, 'N', 8, 2);
    if (ctx == nullptr) return Stats();
    modbus_set_slave(ctx, 1);
    modbus_set_response_timeout(ctx, 1, 0);
    if (modbus_connect(ctx) != 0) {
        fprintf(stderr, "modbus_connect failed: %s\n", modbus_strerror(errno));
        modbus_free(ctx);
        return Stats();
    }
    uint16_t values[kCount];
    Stats stats =
        timeReads(reads, [&] { return modbus_read_registers(ctx, 0, kCount, values) == kCount; });
    modbus_close(ctx);
    modbus_free(ctx);
    return stats;
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
    for (int i = 1; i + 1 < argc; i += 2) {
        if (strcmp(argv[i], "--reads") == 0) reads = atoi(argv[i + 1]);
        if (strcmp(argv[i], "--upssim") == 0) upssim = argv[i + 1];
    }
    struct Case {
        const char* name;
        unsigned baud;
        bool pace;
        int reads;
    };
    const Case cases[] = {
        {"unpaced", 115200, false, reads},
        {"paced", 115200, true, reads},
        {"paced", 9600, true, std::max(20, reads / 5)},
    };

    printf("50-register read (40000..40049), times in ms per read\n\n");
    printf("%-8s %7s | %-10s %6s %8s %8s | %8s %8s %8s | %-10s %8s %8s | %8s\n", "line", "baud",
           "master", "reads", "median", "p99", "wire min", "pty min", "med/pty", "master", "median",
           "p99", "ours/ref");
    for (const Case& c : cases) {
        Simulator sim;
        if (!startSimulator(upssim, c.baud, c.pace, &sim)) {
            stopSimulator(&sim);
            return 1;
        }
        Stats ours = benchLibrary(sim, c.baud, c.reads);
        Stats ref = benchLibmodbus(sim, c.baud, c.reads);
        stopSimulator(&sim);
        char wireText[32] = "-";
        char ptyText[32] = "-";
        char ratioText[32] = "-";
        if (c.pace) {
            snprintf(wireText, sizeof wireText, "%.2f", wireMinimumMs(c.baud));
            snprintf(ptyText, sizeof ptyText, "%.2f", ptyMinimumMs(c.baud));
            snprintf(ratioText, sizeof ratioText, "%.2f", ours.median / ptyMinimumMs(c.baud));
        }
        printf("%-8s %7u | %-10s %6d %8.2f %8.2f | %8s %8s %8s | %-10s %8.2f %8.2f | %8.2f\n",
               c.name, c.baud, "QXUPSSDK", ours.reads, ours.median, ours.p99, wireText, ptyText,
               ratioText, "libmodbus", ref.median, ref.p99,
               ref.median > 0 ? ours.median / ref.median : 0.0);
        if (ours.failures != 0 || ref.failures != 0) {
            printf("  failures: QXUPSSDK %d, libmodbus %d\n", ours.failures, ref.failures);
        }
    }
    printf(
        "\nwire min: request and answer on a real line; pty min: the part the simulator\n"
        "paces on a pseudo terminal (answer and one silent interval). The library pauses\n"
        "2 ms before a write that follows a reception (slave turnaround), which back-to-back\n"
        "reads meet every time.\n");
    return 0;
}
