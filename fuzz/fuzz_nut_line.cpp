// Fuzzes the driver socket's line parser and command handling: the input is
// split into words (every word quoted again must read back as itself), and
// the same bytes are sent as a client's lines to a server whose handler
// accepts everything. Any input must be answered without a crash or a hang.
#include <fcntl.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "driverSocket.h"

namespace {

struct AcceptAll : nutsock::Handler {
    nutsock::Status setVariable(const std::string&, const std::string&) override {
        return nutsock::StatusHandled;
    }
    nutsock::Status instantCommand(const std::string&, const std::string&) override {
        return nutsock::StatusInvalid;
    }
};

bool hasControl(const std::string& word) {
    for (const char c : word) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) return true;
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> words;
    if (nutsock::splitLine(input, words) == nutsock::SplitOk) {
        if (words.size() > nutsock::kMaxWords) abort();
        for (const std::string& word : words) {
            if (hasControl(word)) continue;
            std::vector<std::string> again;
            if (nutsock::splitLine(nutsock::quote(word), again) != nutsock::SplitOk ||
                again.size() != 1 || again[0] != word)
                abort();
        }
    }

    AcceptAll handler;
    nutsock::Server server(&handler);
    server.setInfo("ups.status", "OL");
    server.setFlags("ups.status", "RW STRING");
    int fds[2];
    if (socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0) abort();
    server.addClient(fds[0]);
    fcntl(fds[1], F_SETFL, O_NONBLOCK);
    size_t sent = 0;
    char sink[65536];
    // Bounded: every turn either sends, or the server has had its chance.
    for (int turn = 0; turn < 64 && server.clientCount() > 0; ++turn) {
        if (sent < size) {
            const ssize_t n = write(fds[1], data + sent, size - sent);
            if (n > 0) sent += static_cast<size_t>(n);
        }
        server.serve(0);
        while (read(fds[1], sink, sizeof sink) > 0) {
        }
        if (sent == size && turn > 2) break;
    }
    close(fds[1]);
    return 0;
}
