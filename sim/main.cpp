// upssim: the DC UPS module as a Modbus slave on a pseudo terminal or a real
// serial port, driven by control commands on standard input.
//
// One thread: a poll loop over the line, standard input and the due times of
// paced output, silent gaps and the charge ramp.
#include <errno.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "control.h"
#include "line.h"
#include "register_bank.h"
#include "simulator.h"
#include "slave_protocol.h"

using namespace upssim;

namespace {

const char kUsage[] =
    "usage: upssim (--pty LINK | --device PATH) [options]\n"
    "\n"
    "Simulates the DC UPS module as a Modbus slave (function codes 3 and 16).\n"
    "\n"
    "Line:\n"
    "  --pty LINK          create a pseudo terminal and make LINK a symlink to its\n"
    "                      slave side (an existing symlink is replaced); masters\n"
    "                      open LINK (e.g. QXUPS_COM9=LINK)\n"
    "  --device PATH       serve on a real serial port instead\n"
    "  --baud B            baud rate (default 115200)\n"
    "  --parity P          none, even or odd (default none; real ports only)\n"
    "  --stop-bits N       1 or 2 (default 1; real ports only)\n"
    "  --pace              send at the real character rate of the baud (11 bits a\n"
    "                      character) and wait the silent interval (3.5 characters,\n"
    "                      1.75 ms above 19200 baud) before answering\n"
    "  --ascii             Modbus ASCII (':' hex CR LF, LRC; 7 data bits on a real\n"
    "                      port) instead of RTU\n"
    "  --slave N           slave address 1..247 (default 1); requests for other\n"
    "                      addresses get no answer; broadcast (0) writes are carried\n"
    "                      out without an answer\n"
    "\n"
    "Registers (protocol addresses; the program shows register n as 40000+n):\n"
    "  0 device type, 1 hardware version, 2 firmware version, 16 input voltage mV,\n"
    "  18 output voltage mV, 26 charge %, 27 power source (1 DC, 2 battery),\n"
    "  28 DC_OK, 29 battery mode, 30 battery ready, 31 SW output, 32 remote,\n"
    "  33 battery start, 34 device power status, 35 policy mode (0..9).\n"
    "  Registers 0..199 exist; 0..35 are read-only, 36..199 read-write.\n"
    "  --device-type T     register 0 (default 302)\n"
    "  --hw V              register 1 (default 2)\n"
    "  --fw V              register 2 (default 103)\n"
    "  --registers FILE    a config_registers.xml register table: each Item's Addr\n"
    "                      (40000+n) makes register n exist with its RW access (R,\n"
    "                      W, RW); an optional Default element sets its value. With\n"
    "                      a table, every register not listed in it is read-only.\n"
    "                      A file that cannot be read or parsed is reported on\n"
    "                      stderr and the defaults stay.\n"
    "  Reads outside the registers: exception 02. Writes to a register that is not\n"
    "  writable: exception 02 (nothing is written). Bad counts: exception 03.\n"
    "  Other function codes: exception 01.\n"
    "\n"
    "Control (standard input, one command a line, one answer line each on stdout):\n"
    "  --quit-on-eof       end when standard input ends (default: keep serving)\n"
    "  set REG VALUE       set a register (REG: protocol address 0..) -> ok\n"
    "                      That register alone, read-only ones too: set 27 1 with\n"
    "                      set 28 0 makes power source and DC_OK disagree (the\n"
    "                      scenarios change them together)\n"
    "  get REG             -> value N\n"
    "  scenario dc-loss    DC input lost: 28=0, 27=2, 16=0, 29=1 -> ok\n"
    "  scenario dc-return  the reverse (16 back to its value before the loss)\n"
    "  scenario sw-on|sw-off   SW output (31) on or off\n"
    "  scenario charge RATE    charge (26) changes by RATE %/s (negative\n"
    "                      discharges), clamped 0..100; 0 stops\n"
    "  fault none          normal answers\n"
    "  fault silent        requests are carried out, no answer\n"
    "  fault bad-crc       answers with a wrong CRC (LRC in ASCII)\n"
    "  fault wrong-slave   answers from the next slave address\n"
    "  fault exception CODE    every request refused with that exception code\n"
    "  fault delay MS      answers MS milliseconds late\n"
    "  fault split MS      half an answer, a pause of MS ms, then the rest\n"
    "  fault noise         a few garbage bytes right before each good answer (no\n"
    "                      colon, CR or LF among them: an ASCII master skips them,\n"
    "                      an RTU master gets a frame whose CRC fails)\n"
    "                      Changing the fault drops an answer not yet sent; a new\n"
    "                      request does too.\n"
    "  stats               -> stats requests=N errors=M (M: requests with a fault)\n"
    "  help                -> one line naming the commands\n"
    "  quit                -> bye, and the simulator ends\n"
    "  Errors answer \"error <reason>\"; blank lines and # comments get no answer.\n"
    "\n"
    "Once serving, upssim prints \"ready <path>\" (the pseudo terminal's slave path\n"
    "or the device). End of input on stdin leaves it serving (so `upssim --pty X\n"
    "< /dev/null &` works) unless --quit-on-eof is given (for a driving script or\n"
    "test: the simulator then ends with its input pipe); SIGTERM or SIGINT end it\n"
    "cleanly. Every way of ending removes LINK (if it still points to this\n"
    "simulator's terminal).\n"
    "A terminal on stdin is read only while upssim is its foreground job, so\n"
    "`upssim --pty X &` in a shell keeps serving; `fg` brings it back to take\n"
    "commands (Ctrl-Z, `bg` sends it away again).\n"
    "Exit status: 0 after quit or a signal, 1 on a line failure, 2 on bad usage.\n";

struct Options {
    std::string pty;
    std::string device;
    uint32_t baud = 115200;
    char parity = 'N';
    int stopBits = 1;
    bool pace = false;
    bool ascii = false;
    bool quitOnEof = false;
    uint8_t slave = 1;
    Identity identity;
    std::string registers;
};

volatile sig_atomic_t g_stop = 0;

void onSignal(int) {
    g_stop = 1;
}

[[noreturn]] void usageError(const std::string& message) {
    fprintf(stderr, "upssim: %s\n(see upssim --help)\n", message.c_str());
    exit(2);
}

unsigned long number(const std::string& option, const std::string& text, unsigned long lo,
                     unsigned long hi) {
    errno = 0;
    char* end = nullptr;
    unsigned long v = strtoul(text.c_str(), &end, 0);
    if (text.empty() || text[0] == '-' || errno != 0 || *end != '\0' || v < lo || v > hi)
        usageError(option + " needs a number " + std::to_string(lo) + ".." + std::to_string(hi));
    return v;
}

Options parseOptions(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        std::string value;
        bool inlineValue = false;
        size_t eq = arg.find('=');
        if (arg.compare(0, 2, "--") == 0 && eq != std::string::npos) {
            value = arg.substr(eq + 1);
            arg = arg.substr(0, eq);
            inlineValue = true;
        }
        auto next = [&]() -> std::string {
            if (inlineValue)
                return value;
            if (i + 1 >= argc)
                usageError(arg + " needs a value");
            return argv[++i];
        };
        if (arg == "--help" || arg == "-h") {
            fputs(kUsage, stdout);
            exit(0);
        } else if (arg == "--pty") {
            o.pty = next();
        } else if (arg == "--device") {
            o.device = next();
        } else if (arg == "--baud") {
            o.baud = (uint32_t)number(arg, next(), 50, 4000000);
        } else if (arg == "--parity") {
            std::string p = next();
            o.parity = p == "none" ? 'N' : p == "even" ? 'E' : p == "odd" ? 'O' : '?';
            if (o.parity == '?')
                usageError("--parity is none, even or odd");
        } else if (arg == "--stop-bits") {
            o.stopBits = (int)number(arg, next(), 1, 2);
        } else if (arg == "--pace") {
            o.pace = true;
        } else if (arg == "--ascii") {
            o.ascii = true;
        } else if (arg == "--quit-on-eof") {
            o.quitOnEof = true;
        } else if (arg == "--slave") {
            o.slave = (uint8_t)number(arg, next(), 1, kMaxSlaveAddress);
        } else if (arg == "--device-type") {
            o.identity.deviceType = (uint16_t)number(arg, next(), 0, 65535);
        } else if (arg == "--hw") {
            o.identity.hardwareVersion = (uint16_t)number(arg, next(), 0, 65535);
        } else if (arg == "--fw") {
            o.identity.firmwareVersion = (uint16_t)number(arg, next(), 0, 65535);
        } else if (arg == "--registers") {
            o.registers = next();
        } else {
            usageError("unknown option " + arg);
        }
    }
    if (o.pty.empty() == o.device.empty())
        usageError("give exactly one of --pty LINK and --device PATH");
    return o;
}

void reply(const std::string& line) {
    fputs(line.c_str(), stdout);
    fputc('\n', stdout);
    fflush(stdout);
}

// The line and the loop around it.
class Server {
public:
    Server(const Options& options, Simulator& sim, int fd)
        : options_(options),
          sim_(sim),
          fd_(fd),
          writer_([fd](const uint8_t* p, size_t n) { return write(fd, p, n); }, options.baud,
                  options.pace) {
        if (options.ascii)
            receiver_.reset(new AsciiReceiver());
        else
            receiver_.reset(
                new RtuReceiver(std::max<int64_t>(silentIntervalUs(options.baud), kMinimumGapUs)));
    }

    // Serves until quit or a signal; returns the exit status.
    int run(const sigset_t& waitMask) {
        bool stdinOpen = true;
        while (!g_stop && !quit_) {
            int64_t now = monotonicUs();
            int64_t due = std::min(receiver_->deadlineUs(), writer_.nextDueUs());
            int64_t tickMs = sim_.nextTickMs();
            if (tickMs != INT64_MAX)
                due = std::min(due, tickMs * 1000);
            struct timespec timeout;
            struct timespec* timeoutPtr = nullptr;
            if (due != INT64_MAX) {
                int64_t wait = due > now ? due - now : 0;
                timeout.tv_sec = (time_t)(wait / 1000000);
                timeout.tv_nsec = (long)(wait % 1000000) * 1000;
                timeoutPtr = &timeout;
            }
            // A terminal is read only while this is its foreground job: read
            // from the background, the shell would stop the simulator (and the
            // line with it). It looks again twice a second, for a `fg`.
            const bool control = stdinOpen && controlInForeground();
            if (stdinOpen && !control && (timeoutPtr == nullptr || timeout.tv_sec > 0)) {
                timeout.tv_sec = 0;
                timeout.tv_nsec = 500 * 1000 * 1000;
                timeoutPtr = &timeout;
            }
            struct pollfd fds[2];
            fds[0] = {fd_, (short)(POLLIN | (writer_.waitingForLine() ? POLLOUT : 0)), 0};
            fds[1] = {STDIN_FILENO, POLLIN, 0};
            int rc = ppoll(fds, control ? 2 : 1, timeoutPtr, &waitMask);
            if (rc < 0) {
                if (errno == EINTR)
                    continue;
                perror("upssim: poll");
                return 1;
            }
            now = monotonicUs();
            if (fds[0].revents & POLLIN) {
                if (!readLine(now))
                    return 1;
            } else if (fds[0].revents & (POLLERR | POLLHUP | POLLNVAL)) {
                fprintf(stderr, "upssim: the line has hung up\n");
                return 1;
            }
            std::vector<Frame> frames;
            receiver_->idle(now, &frames);
            handleFrames(frames, now);
            if (control && (fds[1].revents & (POLLIN | POLLHUP | POLLERR | POLLNVAL))) {
                stdinOpen = readControl();
                if (!stdinOpen && options_.quitOnEof)
                    return 0;
            }
            if (!writer_.service(monotonicUs())) {
                perror("upssim: write");
                return 1;
            }
            sim_.tick(monotonicUs() / 1000);
        }
        return 0;
    }

private:
    static constexpr int64_t kMinimumGapUs = 10000;

    bool readLine(int64_t now) {
        uint8_t buf[512];
        ssize_t n = read(fd_, buf, sizeof buf);
        if (n < 0) {
            if (errno == EAGAIN || errno == EINTR)
                return true;
            perror("upssim: read");
            return false;
        }
        std::vector<Frame> frames;
        receiver_->feed(buf, (size_t)n, now, &frames);
        handleFrames(frames, now);
        return true;
    }

    void handleFrames(const std::vector<Frame>& frames, int64_t now) {
        for (const Frame& f : frames) {
            Reply r = sim_.handle(f);
            if (!r.forUs)
                continue;
            // A master that sends a new request has given up on the old answer.
            writer_.clear();
            int64_t start = options_.pace ? now + silentIntervalUs(options_.baud) : now;
            writer_.send(r.segments, start);
        }
    }

    static bool controlInForeground() {
        return !isatty(STDIN_FILENO) || tcgetpgrp(STDIN_FILENO) == getpgrp();
    }

    // Returns false at the end of input.
    bool readControl() {
        char buf[1024];
        ssize_t n = read(STDIN_FILENO, buf, sizeof buf);
        // EIO: the job went to the background between the check and the read
        // (SIGTTIN is ignored, so the read fails instead of stopping it).
        if (n < 0 && (errno == EAGAIN || errno == EINTR || (errno == EIO && isatty(STDIN_FILENO))))
            return true;
        if (n <= 0)
            return false;
        input_.append(buf, (size_t)n);
        size_t eol;
        while (!quit_ && (eol = input_.find('\n')) != std::string::npos) {
            std::string line = input_.substr(0, eol);
            input_.erase(0, eol + 1);
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            ControlResult r = executeCommand(sim_, line, monotonicUs() / 1000);
            if (r.faultChanged)
                writer_.clear();
            if (!r.reply.empty())
                reply(r.reply);
            quit_ = r.quit;
        }
        if (input_.size() > 4096)
            input_.clear();
        return true;
    }

    const Options& options_;
    Simulator& sim_;
    int fd_;
    LineWriter writer_;
    std::unique_ptr<RequestReceiver> receiver_;
    std::string input_;
    bool quit_ = false;
};

}  // namespace

int main(int argc, char** argv) {
    Options options = parseOptions(argc, argv);

    RegisterBank bank(options.identity);
    if (!options.registers.empty()) {
        std::vector<RegisterDef> table;
        std::string error;
        if (loadRegisterFile(options.registers, &table, &error))
            bank.applyTable(table);
        else
            fprintf(stderr, "upssim: %s; keeping the default registers\n", error.c_str());
    }
    Simulator sim(std::move(bank), options.slave, options.ascii ? Framing::Ascii : Framing::Rtu);

    // The signals that end the simulator are only let through while it waits in ppoll.
    sigset_t blocked, waitMask;
    sigemptyset(&blocked);
    sigaddset(&blocked, SIGTERM);
    sigaddset(&blocked, SIGINT);
    sigprocmask(SIG_BLOCK, &blocked, &waitMask);
    sigdelset(&waitMask, SIGTERM);
    sigdelset(&waitMask, SIGINT);
    struct sigaction sa;
    memset(&sa, 0, sizeof sa);
    sa.sa_handler = onSignal;
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
    signal(SIGPIPE, SIG_IGN);
    signal(SIGTTIN, SIG_IGN);

    PtyLine pty;
    int fd = -1;
    std::string error;
    std::string path;
    if (!options.pty.empty()) {
        if (!openPty(options.pty, &pty, &error)) {
            fprintf(stderr, "upssim: %s\n", error.c_str());
            return 1;
        }
        fd = pty.master;
        path = pty.slavePath;
    } else {
        fd = openSerialDevice(options.device, options.baud, options.ascii ? 7 : 8, options.parity,
                              options.stopBits, &error);
        if (fd < 0) {
            fprintf(stderr, "upssim: %s\n", error.c_str());
            return 1;
        }
        path = options.device;
    }

    reply("ready " + path);
    int status = Server(options, sim, fd).run(waitMask);

    if (!options.pty.empty())
        closePty(&pty);
    else
        close(fd);
    return status;
}
