// The reason of a failed port open: the library gives a result code only, the
// administrator needs to know which of missing, forbidden or busy it is.
#include "portCheck.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <pwd.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include "QXUPSPorts.h"
#include "resultText.h"

namespace portcheck {

namespace {

std::string userName() {
    const struct passwd* user = getpwuid(geteuid());
    return user != nullptr ? user->pw_name : "uid " + std::to_string(geteuid());
}

}  // namespace

std::string openFailureReason(const nutconf::Settings& settings, int rc) {
    const UPS_DeviceDescriptor& d = settings.device;
    if (rc != PortError) {
        return "no answer from the module (slave " + std::to_string(d.slaveAddress) + ") on " +
               settings.port + " (" + qxwatch::resultText(rc) + ")";
    }
    char device[PATH_MAX];
    if (!QXUPS_PortDevicePath(d.portNumber, device, sizeof device))
        return settings.port + " names no device";
    char real[PATH_MAX];
    const std::string path = realpath(device, real) != nullptr ? real : device;
    struct stat st;
    if (stat(device, &st) != 0) return "no such device " + settings.port;
    if (faccessat(AT_FDCWD, device, R_OK | W_OK, AT_EACCESS) != 0 && errno == EACCES)
        return "permission denied on " + path + ": the driver runs as " + userName();
    return path + " is in use by another program or is not a serial line";
}

}  // namespace portcheck
