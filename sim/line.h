// The simulator's serial line: a pseudo terminal (published through a symlink)
// or a real port, and the writer that puts planned answers on it, paced at the
// character rate of the baud when asked.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <sys/types.h>

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "simulator.h"

namespace upssim {

int64_t monotonicUs();

// One character of 11 bits (start, 8 data, parity or second stop, stop).
int64_t characterTimeUs(uint32_t baud);
// The silent interval that ends an RTU frame: 3.5 characters, fixed at 1750 us
// above 19200 baud.
int64_t silentIntervalUs(uint32_t baud);

struct PtyLine {
    int master = -1;
    int slave = -1;  // kept open so that the line stays up while no master has it open
    std::string slavePath;
    std::string link;
};

// Creates a pseudo terminal, puts its slave side in raw mode and makes `link`
// a symlink to the slave path (an existing symlink is replaced; any other file
// there is an error).
bool openPty(const std::string& link, PtyLine* line, std::string* error);
// Closes both sides and removes the link if it still points to this terminal.
void closePty(PtyLine* line);

// Opens a real serial port in raw mode: baud (any rate), data bits 7 or 8,
// parity 'N', 'E' or 'O', stop bits 1 or 2.
int openSerialDevice(const std::string& path, uint32_t baud, int dataBits, char parity,
                     int stopBits, std::string* error);
// Applies the line settings to an open port (serial_config.cpp).
bool configureSerial(int fd, uint32_t baud, int dataBits, char parity, int stopBits,
                     std::string* error);

// Holds the bytes still to go out, each with the time it is due. Paced, the
// bytes of a segment are spaced one character time apart; several bytes that
// are due at once are written together (as a UART's FIFO would send them).
class LineWriter {
public:
    // write: like write(2); returns bytes written, or -1 with errno.
    using WriteFn = std::function<ssize_t(const uint8_t*, size_t)>;
    LineWriter(WriteFn write, uint32_t baud, bool pace);

    // Schedules the segments of one answer, the first one no earlier than startUs.
    void send(const std::vector<Segment>& segments, int64_t startUs);
    // Drops everything not yet written.
    void clear();
    bool pending() const { return !queue_.empty(); }
    // The time the next byte is due; INT64_MAX when nothing is due or the line is full.
    int64_t nextDueUs() const;
    // True when the line refused bytes and the caller should wait until it is writable.
    bool waitingForLine() const { return blocked_; }
    // Writes every byte due by nowUs. False on a write error other than a full line.
    bool service(int64_t nowUs);
    uint64_t bytesWritten() const { return written_; }

private:
    struct Pending {
        int64_t dueUs;
        uint8_t byte;
    };
    WriteFn write_;
    int64_t charUs_;
    bool pace_;
    bool blocked_ = false;
    std::deque<Pending> queue_;
    uint64_t written_ = 0;
};

}  // namespace upssim
