// Runs the upssim binary as a child process: its standard input takes control
// commands, its standard output gives the "ready" line and one answer line per
// command.
#pragma once

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <string>
#include <vector>

extern char** environ;

namespace simtest {

inline int64_t nowMs() {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (int64_t)ts.tv_sec * 1000 + ts.tv_nsec / 1000000;
}

class SimProcess {
public:
    explicit SimProcess(const std::vector<std::string>& args) {
        int in[2];
        int out[2];
        if (pipe2(in, O_CLOEXEC) != 0)
            return;
        if (pipe2(out, O_CLOEXEC) != 0) {
            close(in[0]);
            close(in[1]);
            return;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(UPSSIM_PATH));
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        if (posix_spawn(&pid_, UPSSIM_PATH, &actions, nullptr, argv.data(), environ) != 0)
            pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(in[0]);
        close(out[1]);
        toChild_ = in[1];
        fromChild_ = out[0];
    }

    ~SimProcess() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        closeInput();
        if (fromChild_ >= 0)
            close(fromChild_);
    }

    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    bool started() const { return pid_ > 0; }

    // One line from the child's standard output; false at EOF or after timeoutMs.
    bool readLine(std::string* line, int timeoutMs = 10000) {
        int64_t deadline = nowMs() + timeoutMs;
        for (;;) {
            size_t eol = buffer_.find('\n');
            if (eol != std::string::npos) {
                *line = buffer_.substr(0, eol);
                buffer_.erase(0, eol + 1);
                return true;
            }
            int64_t left = deadline - nowMs();
            if (left <= 0 || fromChild_ < 0)
                return false;
            struct pollfd pfd = {fromChild_, POLLIN, 0};
            int rc = poll(&pfd, 1, (int)left);
            if (rc < 0 && errno == EINTR)
                continue;
            if (rc <= 0)
                return false;
            char buf[512];
            ssize_t n = read(fromChild_, buf, sizeof buf);
            if (n <= 0)
                return false;
            buffer_.append(buf, (size_t)n);
        }
    }

    // Waits for "ready <path>" and returns the path, or "" on failure.
    std::string waitReady() {
        std::string line;
        if (!readLine(&line) || line.compare(0, 6, "ready ") != 0)
            return "";
        return line.substr(6);
    }

    // Sends one control command and returns its answer line ("<no answer>" if none came).
    std::string command(const std::string& cmd) {
        std::string text = cmd + "\n";
        if (toChild_ < 0 || write(toChild_, text.data(), text.size()) != (ssize_t)text.size())
            return "<cannot write>";
        std::string line;
        return readLine(&line) ? line : "<no answer>";
    }

    void closeInput() {
        if (toChild_ >= 0)
            close(toChild_);
        toChild_ = -1;
    }

    // Waits for the child to end by itself; its exit status, or -1.
    int wait(int timeoutMs = 10000) {
        int64_t deadline = nowMs() + timeoutMs;
        while (pid_ > 0) {
            int status = 0;
            pid_t r = waitpid(pid_, &status, WNOHANG);
            if (r == pid_) {
                pid_ = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            if (nowMs() > deadline)
                return -1;
            usleep(10000);
        }
        return -1;
    }

    // SIGTERM, then the exit status.
    int terminate() {
        if (pid_ <= 0)
            return -1;
        kill(pid_, SIGTERM);
        return wait();
    }

private:
    pid_t pid_ = -1;
    int toChild_ = -1;
    int fromChild_ = -1;
    std::string buffer_;
};

}  // namespace simtest
