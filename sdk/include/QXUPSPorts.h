/*
 * Serial port numbers on Linux: the one table shared by the library (number to
 * device) and the program (device to number).
 *
 * Port number N opens the path in the environment variable QXUPS_COM<N> when it
 * is set; otherwise 1..32 are /dev/ttyS0..31, 33..64 /dev/ttyUSB0..31 and
 * 65..96 /dev/ttyACM0..31. Any other number has no device.
 */
#ifndef QXUPSPORTS_H
#define QXUPSPORTS_H

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

struct QXUPS_PortFamily {
    const char* prefix;
    unsigned firstNumber;
};

static const QXUPS_PortFamily kQXUPS_PortFamilies[] = {
    {"/dev/ttyS", 1},
    {"/dev/ttyUSB", 33},
    {"/dev/ttyACM", 65},
};
static const unsigned kQXUPS_PortsPerFamily = 32;
static const unsigned kQXUPS_PortEnvMax = 255;
/* A device given by its path (upsctl --device, the driver's port = /dev/...) is
 * opened as this port number, its path set in QXUPS_COM255. */
static const unsigned kQXUPS_DevicePathPort = 255;

/* Name of the environment variable that overrides port number n. */
static inline void QXUPS_PortEnvName(unsigned n, char* buf, size_t size) {
    snprintf(buf, size, "QXUPS_COM%u", n);
}

/* Writes the device path of port number n into buf; returns 1, or 0 when n has no device. */
static inline int QXUPS_PortDevicePath(unsigned n, char* buf, size_t size) {
    char name[32];
    QXUPS_PortEnvName(n, name, sizeof name);
    const char* env = getenv(name);
    if (env != NULL && env[0] != '\0') {
        if (strlen(env) >= size) return 0;
        memcpy(buf, env, strlen(env) + 1);
        return 1;
    }
    for (const QXUPS_PortFamily& f : kQXUPS_PortFamilies) {
        if (n >= f.firstNumber && n < f.firstNumber + kQXUPS_PortsPerFamily) {
            /* A path that does not fit is no device, not a truncated one. */
            int len = snprintf(buf, size, "%s%u", f.prefix, n - f.firstNumber);
            return len > 0 && (size_t)len < size ? 1 : 0;
        }
    }
    return 0;
}

/* Port number of a device path in the fixed table, or 0 when the table does not cover it. */
static inline unsigned QXUPS_PortNumberOfDevice(const char* path) {
    for (const QXUPS_PortFamily& f : kQXUPS_PortFamilies) {
        size_t len = strlen(f.prefix);
        if (strncmp(path, f.prefix, len) != 0) continue;
        const char* digits = path + len;
        if (*digits < '0' || *digits > '9') return 0;
        char* end = NULL;
        unsigned long k = strtoul(digits, &end, 10);
        if (*end != '\0' || k >= kQXUPS_PortsPerFamily) return 0;
        return f.firstNumber + (unsigned)k;
    }
    return 0;
}

#endif /* QXUPSPORTS_H */
