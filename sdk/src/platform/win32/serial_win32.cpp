// Serial device on Windows: port number n is \\.\COM<n>, opened exclusively for
// synchronous I/O. The line settings go through a DCB with DTR and RTS held
// low; every read and write sets the COMMTIMEOUTS that give the port layer its
// semantics (wait for the first byte, then take what is waiting).
#include <windows.h>
#include <stdio.h>

#include "../platform.h"

namespace ups {
namespace plat {

// Kernel handles carry 32 significant bits, so a device handle travels in the
// platform's int file and INVALID_HANDLE_VALUE is kNoFile.
static HANDLE handleOf(int file) {
    return LongToHandle(file);
}

ResultCode serialOpen(uint8_t portNumber, int* file) {
    *file = kNoFile;
    if (portNumber == 0) return PortError;
    char path[32];
    snprintf(path, sizeof path, "\\\\.\\COM%u", (unsigned)portNumber);
    HANDLE handle = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return PortError;
    DCB dcb;
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(handle, &dcb)) {  // not a serial device
        CloseHandle(handle);
        return PortError;
    }
    SetupComm(handle, 4096, 4096);
    *file = HandleToLong(handle);
    return Success;
}

// Wine maps COM ports to Unix terminals. A pseudo terminal (as in our tests
// and the simulator) always carries 8 bits without parity, and Wine refuses a
// line control it cannot set, or set again, there. Under Wine a refused DCB is
// therefore taken when the baud rate is in force; on Windows a refusal stands.
static bool runningUnderWine() {
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

static bool acceptedByWine(HANDLE handle, const DCB& wanted) {
    if (!runningUnderWine()) return false;
    DCB now;
    now.DCBlength = sizeof now;
    return GetCommState(handle, &now) && now.BaudRate == wanted.BaudRate;
}

ResultCode serialConfigure(int file, uint32_t baud, uint32_t dataBits, int32_t parity,
                           uint32_t stopBits) {
    if (dataBits != 7 && dataBits != 8) return InvalidArgument;
    if (parity != ParityOdd && parity != ParityEven && parity != ParityNone) {
        return InvalidArgument;
    }
    if (stopBits != 1 && stopBits != 2) return InvalidArgument;
    if (baud == 0) return InvalidArgument;
    HANDLE handle = handleOf(file);
    DCB dcb;
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(handle, &dcb)) return PortError;
    dcb.BaudRate = baud;
    dcb.ByteSize = (BYTE)dataBits;
    dcb.Parity = parity == ParityOdd ? ODDPARITY : parity == ParityEven ? EVENPARITY : NOPARITY;
    dcb.StopBits = stopBits == 2 ? TWOSTOPBITS : ONESTOPBIT;
    dcb.fBinary = TRUE;
    dcb.fParity = parity != ParityNone;
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDtrControl = DTR_CONTROL_DISABLE;
    dcb.fRtsControl = RTS_CONTROL_DISABLE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fErrorChar = FALSE;
    dcb.fNull = FALSE;
    dcb.fAbortOnError = FALSE;
    if (!SetCommState(handle, &dcb) && !acceptedByWine(handle, dcb)) return PortError;
    PurgeComm(handle, PURGE_RXCLEAR | PURGE_TXCLEAR | PURGE_RXABORT | PURGE_TXABORT);
    return Success;
}

static bool setTimeouts(HANDLE handle, DWORD interval, DWORD multiplier, DWORD constant,
                        DWORD writeConstant) {
    COMMTIMEOUTS t;
    t.ReadIntervalTimeout = interval;
    t.ReadTotalTimeoutMultiplier = multiplier;
    t.ReadTotalTimeoutConstant = constant;
    t.WriteTotalTimeoutMultiplier = 0;
    t.WriteTotalTimeoutConstant = writeConstant;
    return SetCommTimeouts(handle, &t) != 0;
}

int serialRead(int file, uint8_t* buf, size_t capacity, uint32_t timeoutMs) {
    HANDLE handle = handleOf(file);
    if (timeoutMs == 0) return serialReadAvailable(file, buf, capacity);
    // MAXDWORD, MAXDWORD, constant: return at once with what is waiting, else
    // with the first byte to come, else after the constant.
    DWORD constant = timeoutMs >= MAXDWORD ? MAXDWORD - 1 : timeoutMs;
    if (!setTimeouts(handle, MAXDWORD, MAXDWORD, constant, 0)) {
        sleepMs(timeoutMs < 1000 ? timeoutMs : 1000);  // no spinning caller
        return -1;
    }
    DWORD got = 0;
    DWORD want = capacity > MAXDWORD ? MAXDWORD : (DWORD)capacity;
    if (!ReadFile(handle, buf, want, &got, nullptr)) {
        ClearCommError(handle, nullptr, nullptr);
        return -1;
    }
    return (int)got;
}

int serialWrite(int file, const uint8_t* buf, size_t count, uint32_t timeoutMs) {
    HANDLE handle = handleOf(file);
    DWORD constant = timeoutMs >= MAXDWORD ? MAXDWORD - 1 : timeoutMs;
    if (constant == 0) constant = 1;
    if (!setTimeouts(handle, MAXDWORD, 0, 0, constant)) return -1;
    DWORD written = 0;
    DWORD want = count > MAXDWORD ? MAXDWORD : (DWORD)count;
    if (!WriteFile(handle, buf, want, &written, nullptr)) {
        ClearCommError(handle, nullptr, nullptr);
        return written > 0 ? (int)written : -1;
    }
    return (int)written;
}

static bool queueCounts(int file, uint32_t* in, uint32_t* out) {
    COMSTAT status;
    DWORD errors = 0;
    if (!ClearCommError(handleOf(file), &errors, &status)) return false;
    if (in != nullptr) *in = status.cbInQue;
    if (out != nullptr) *out = status.cbOutQue;
    return true;
}

bool serialInputQueue(int file, uint32_t* count) {
    return queueCounts(file, count, nullptr);
}

bool serialOutputQueue(int file, uint32_t* count) {
    return queueCounts(file, nullptr, count);
}

int serialReadAvailable(int file, uint8_t* buf, size_t count) {
    HANDLE handle = handleOf(file);
    // MAXDWORD, 0, 0: return at once with whatever is waiting, maybe nothing.
    if (!setTimeouts(handle, MAXDWORD, 0, 0, 0)) return -1;
    DWORD got = 0;
    DWORD want = count > MAXDWORD ? MAXDWORD : (DWORD)count;
    if (!ReadFile(handle, buf, want, &got, nullptr)) return -1;
    return (int)got;
}

void serialClose(int file) {
    if (file == kNoFile) return;
    CloseHandle(handleOf(file));
}

}  // namespace plat
}  // namespace ups
