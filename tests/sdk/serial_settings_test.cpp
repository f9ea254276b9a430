// Line settings of a real serial port, which no pseudo terminal can show: the
// computed termios2 record and modem lines, and the refusal path of the
// wrapper through injected tty controls.
#include <gtest/gtest.h>

#include <vector>

#include "platform/linux/serial_settings_linux.h"
#include "platform/platform.h"

using namespace ups;
using namespace ups::plat;

namespace {

TEST(SerialSettings, DataBitsParityStopBitsAndLinesOnARealPortAndAPty) {
    struct termios2 current = {};
    current.c_iflag = ICRNL | IXON;
    current.c_lflag = ICANON | ECHO;
    current.c_cflag = CS8 | CRTSCTS | HUPCL | B9600;
    const struct {
        const char* what;
        bool pty;
        uint32_t dataBits;
        int32_t parity;
        uint32_t stopBits;
        tcflag_t cflagSet;  // of CSIZE, PARENB, PARODD, CSTOPB
        tcflag_t inpck;
        int lines;
    } cases[] = {
        {"RTU, no parity, 2 stop bits", false, 8, ParityNone, 2, CS8 | CSTOPB, 0,
         TIOCM_DTR | TIOCM_RTS},
        {"ASCII, odd, 1 stop bit", false, 7, ParityOdd, 1, CS7 | PARENB | PARODD, INPCK,
         TIOCM_DTR | TIOCM_RTS},
        {"ASCII, even, 1 stop bit", false, 7, ParityEven, 1, CS7 | PARENB, INPCK,
         TIOCM_DTR | TIOCM_RTS},
        {"pty keeps 8N", true, 7, ParityOdd, 1, CS8, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        SerialSettings s;
        ASSERT_EQ(
            computeSerialSettings(current, c.pty, 76800, c.dataBits, c.parity, c.stopBits, &s),
            Success);
        EXPECT_EQ(s.tio.c_cflag & (CSIZE | PARENB | PARODD | CSTOPB), c.cflagSet);
        EXPECT_EQ(s.tio.c_iflag & INPCK, c.inpck);
        EXPECT_EQ(s.linesToLower, c.lines);
        // Raw, no flow control or hang-up, any rate through BOTHER.
        EXPECT_EQ(s.tio.c_cflag & (CRTSCTS | HUPCL), 0u);
        EXPECT_EQ(s.tio.c_cflag & (CREAD | CLOCAL), (tcflag_t)(CREAD | CLOCAL));
        EXPECT_EQ(s.tio.c_cflag & CBAUD, (tcflag_t)BOTHER);
        EXPECT_EQ(s.tio.c_ospeed, 76800u);
        EXPECT_EQ(s.tio.c_iflag & (ICRNL | IXON), 0u);
        EXPECT_EQ(s.tio.c_lflag & (ICANON | ECHO), 0u);
    }
    SerialSettings s;
    EXPECT_EQ(computeSerialSettings(current, false, 9600, 9, ParityNone, 1, &s), InvalidArgument);
    EXPECT_EQ(computeSerialSettings(current, false, 9600, 8, 3, 1, &s), InvalidArgument);
    EXPECT_EQ(computeSerialSettings(current, false, 9600, 8, ParityNone, 3, &s), InvalidArgument);
    EXPECT_EQ(computeSerialSettings(current, false, 0, 8, ParityNone, 1, &s), InvalidArgument);
}

// Injected tty: which request fails, whether the device is a pty, what was asked.
struct FakeTty {
    unsigned long failing = 0;
    bool pty = false;
    std::vector<unsigned long> requests;
    int lowered = 0;
};
FakeTty* g_tty = nullptr;

int fakeControl(int, unsigned long request, void* arg) {
    g_tty->requests.push_back(request);
    if (request == TIOCMBIC) g_tty->lowered = *static_cast<int*>(arg);
    if (request == TCGETS2) *static_cast<struct termios2*>(arg) = {};
    return request == g_tty->failing ? -1 : 0;
}
bool fakeIsPty(int) {
    return g_tty->pty;
}

TEST(SerialSettings, ARefusedSettingIsAPortErrorOnARealPortOnly) {
    const SerialControl control = {fakeControl, fakeIsPty};
    const struct {
        const char* what;
        unsigned long failing;
        bool pty;
        ResultCode expected;
        int lowered;
    } cases[] = {
        {"accepted", 0, false, Success, TIOCM_DTR | TIOCM_RTS},
        {"settings refused", TCSETS2, false, PortError, 0},
        {"settings unreadable", TCGETS2, false, PortError, 0},
        {"pty refuses what it cannot apply", TCSETS2, true, Success, 0},
        {"no modem lines to lower", TIOCMBIC, false, Success, TIOCM_DTR | TIOCM_RTS},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        FakeTty tty;
        tty.failing = c.failing;
        tty.pty = c.pty;
        g_tty = &tty;
        EXPECT_EQ(applySerialSettings(3, control, 9600, 7, ParityEven, 1), c.expected);
        EXPECT_EQ(tty.lowered, c.lowered);
    }
    g_tty = nullptr;
}

}  // namespace
