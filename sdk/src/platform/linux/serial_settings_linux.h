// Line settings of a serial device on Linux, split from the tty calls that
// apply them: a pure function computes the termios2 record and the modem lines
// to lower, and a thin wrapper reads, writes and lowers through a set of
// controls that tests can replace (no pseudo terminal has a real line).
//
// Includes <asm/termbits.h>: never include it together with <termios.h>.
#pragma once

#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <asm-generic/termios.h>
#include <stdint.h>

#include "QXUPSSDK.h"

namespace ups {
namespace plat {

struct SerialSettings {
    struct termios2 tio;
    int linesToLower;  // TIOCM_ bits to clear; none on a pseudo terminal
};

// Raw mode with the given rate (any rate, through BOTHER), data bits (7 or 8),
// parity (ParityOdd, ParityEven, ParityNone) and stop bits (1 or 2), starting
// from the port's current settings. A pseudo terminal stays 8 data bits
// without parity: it has no line. InvalidArgument for unsupported values.
ResultCode computeSerialSettings(const struct termios2& current, bool pseudoTerminal, uint32_t baud,
                                 uint32_t dataBits, int32_t parity, uint32_t stopBits,
                                 SerialSettings* out);

// The tty requests applySerialSettings makes.
struct SerialControl {
    int (*control)(int file, unsigned long request, void* arg);  // ioctl: 0 or -1
    bool (*isPseudoTerminal)(int file);
};
extern const SerialControl kSystemSerialControl;

// Reads the current settings, writes the computed ones and lowers DTR and RTS
// (best effort). PortError when the port refuses the settings (a pseudo terminal may refuse a
// change it cannot apply; that is not an error).
ResultCode applySerialSettings(int file, const SerialControl& control, uint32_t baud,
                               uint32_t dataBits, int32_t parity, uint32_t stopBits);

}  // namespace plat
}  // namespace ups
