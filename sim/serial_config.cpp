// Line settings of a real port through termios2, so that any baud rate works
// (76800 included). <asm/termbits.h> clashes with the libc <termios.h>, hence
// this file of its own that talks to the tty layer through ioctl alone.
#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <errno.h>
#include <stdint.h>
#include <string.h>

#include <string>

extern "C" int ioctl(int fd, unsigned long request, ...);

namespace upssim {

bool configureSerial(int fd, uint32_t baud, int dataBits, char parity, int stopBits,
                     std::string* error) {
    if (baud == 0 || (dataBits != 7 && dataBits != 8) ||
        (parity != 'N' && parity != 'E' && parity != 'O') || (stopBits != 1 && stopBits != 2)) {
        *error = "unsupported line settings";
        return false;
    }
    struct termios2 tio;
    if (ioctl(fd, TCGETS2, &tio) != 0) {
        *error = std::string("TCGETS2: ") + strerror(errno);
        return false;
    }
    tio.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF |
                     IXANY | INPCK | IGNPAR);
    tio.c_oflag &= ~OPOST;
    tio.c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    tio.c_cflag &=
        ~(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS | HUPCL | CBAUD | (CBAUD << IBSHIFT));
    tio.c_cflag |= CREAD | CLOCAL | BOTHER | (BOTHER << IBSHIFT);
    tio.c_cflag |= dataBits == 7 ? CS7 : CS8;
    if (parity != 'N') {
        tio.c_cflag |= PARENB;
        tio.c_iflag |= INPCK;
        if (parity == 'O')
            tio.c_cflag |= PARODD;
    }
    if (stopBits == 2)
        tio.c_cflag |= CSTOPB;
    tio.c_ispeed = baud;
    tio.c_ospeed = baud;
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    if (ioctl(fd, TCSETS2, &tio) != 0) {
        *error = std::string("TCSETS2: ") + strerror(errno);
        return false;
    }
    return true;
}

}  // namespace upssim
