// The driver's set-up: the command line's usage text, ups.conf and the options of a section.
#pragma once

#include <stdio.h>

#include <map>
#include <string>

#include "QXUPSSDK.h"

namespace nutconf {

const char kDriverName[] = "qxups-nut";

typedef std::map<std::string, std::string> Options;

struct Settings {
    std::string port;
    UPS_DeviceDescriptor device = {};
    long pollMs = 2000;
    std::map<std::string, std::string> defaults;
    std::map<std::string, std::string> overrides;
};

void printUsage(FILE* out);

// A decimal number without sign or blanks within min..max.
bool parseNumber(const std::string& text, long min, long max, long* value);

// The address of experimental.register.<address>, 40000..65535 written as
// the driver publishes it: another spelling (leading zeros) would write the
// same register under a variable that is never updated.
bool parseRegisterName(const std::string& name, long* address);

// What the command line and ups.conf ask of the driver.
struct CommandLine {
    std::string ups;
    std::string user;  // -u, else ups.conf's, else nut
    bool foreground = false;
    int debug = 0;
    std::string statePath;
    Settings settings;
};

// Reads the command line, then the section of ups.conf (-x on top); -1 to go
// on, else the exit status (0 after -V or -h, 1 with a message on stderr).
int readCommandLine(int argc, char** argv, const char* version, CommandLine& line);

// Reads the global user and the section [ups] of ups.conf; false with a
// message on stderr when the file cannot be read or has a line it cannot take.
bool readUpsConf(const std::string& path, const std::string& ups, Options& section,
                 std::string& globalUser, bool* found);

// The driver's options from the section (with -x on top); false with a
// message on stderr for a bad or unknown one.
bool takeOptions(const Options& options, Settings& settings);

}  // namespace nutconf
