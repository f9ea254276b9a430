// upsctl history: the program's samples and events, and the rate it learned, read from its file.
#include "history.h"

#include <errno.h>
#include <getopt.h>
#include <limits.h>
#include <math.h>
#include <sqlite3.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <string>

namespace {

const int kUsage = 64;
const int kNoInput = 66;  // the file cannot be read as a history
// Version 2 added the learned discharge rate and each sample's time left, which
// this reader does not need: it reads both versions.
const int kSchemaVersion = 2;

const char* const kSources[] = {"unknown", "dc", "battery"};
const char* const kBatteryStates[] = {"charging", "full", "discharging"};

void usage(FILE* out) {
    fprintf(out,
            "usage: upsctl history [--db PATH] [--since DURATION] [--events] [--utc] [--csv]\n"
            "\n"
            "Prints the samples (or with --events the events) the program stored,\n"
            "oldest first; the program may be running.\n"
            "  --db PATH         the history file (default: history.sqlite in the\n"
            "                    program's settings folder)\n"
            "  --since DURATION  how far back: N followed by s, m, h or d (default 24h)\n"
            "  --events          the events instead of the samples\n"
            "  --utc             times in UTC (2026-03-01T12:00:00.000Z) instead of\n"
            "                    local time with its offset (2026-03-01T13:00:00.000+01:00)\n"
            "  --csv             CSV as the program's export writes it (RFC 4180,\n"
            "                    ISO 8601 UTC times, whether or not --utc is given)\n"
            "Exit status: 0 success, 64 bad usage, 66 the file cannot be read.\n");
}

// The program's settings-folder rule: its own folder (QXUPS_APPDIR when set)
// when that can be written, else $XDG_CONFIG_HOME/Tarvel/UPS.
std::string defaultPath() {
    std::string dir;
    const char* overridden = getenv("QXUPS_APPDIR");
    if (overridden != nullptr && *overridden != '\0') {
        dir = overridden;
    } else {
        char self[PATH_MAX];
        const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
        if (n > 0) {
            self[n] = '\0';
            dir = self;
            dir.erase(dir.rfind('/') == 0 ? 1 : dir.rfind('/'));
        }
    }
    while (dir.size() > 1 && dir.back() == '/')
        dir.pop_back();
    if (dir.empty() || access(dir.c_str(), W_OK) != 0) {
        const char* config = getenv("XDG_CONFIG_HOME");
        if (config != nullptr && config[0] == '/') {
            dir = config;
        } else {
            const char* home = getenv("HOME");
            dir = std::string(home != nullptr ? home : "") + "/.config";
        }
        dir += "/Tarvel/UPS";
    }
    return dir + "/history.sqlite";
}

bool parseDuration(const char* text, int64_t* ms) {
    char* end = nullptr;
    if (text == nullptr || *text < '0' || *text > '9') return false;
    const unsigned long long n = strtoull(text, &end, 10);
    int64_t unit = 0;
    if (strcmp(end, "s") == 0) unit = 1000;
    if (strcmp(end, "m") == 0) unit = 60 * 1000;
    if (strcmp(end, "h") == 0) unit = 3600 * 1000;
    if (strcmp(end, "d") == 0) unit = 24 * 3600 * 1000LL;
    if (unit == 0 || n > 100000ULL * 24 * 3600 * 1000 / unit) return false;
    *ms = (int64_t)n * unit;
    return true;
}

// ISO 8601 with milliseconds: UTC with a Z, or local time with its offset
// from UTC (which the program's History page shows).
std::string isoTime(int64_t ms, bool utc) {
    const time_t seconds = (time_t)(ms / 1000);
    struct tm when;
    if (utc)
        gmtime_r(&seconds, &when);
    else
        localtime_r(&seconds, &when);
    char zone[16] = "Z";
    if (!utc) {
        // Offsets lie within a day; the bound keeps the text to its six characters.
        const int offset = (int)(when.tm_gmtoff / 60 % (24 * 60));
        const int minutes = offset < 0 ? -offset : offset;
        snprintf(zone, sizeof zone, "%c%02d:%02d", offset < 0 ? '-' : '+', minutes / 60,
                 minutes % 60);
    }
    char text[96];
    snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03d%s", when.tm_year + 1900,
             when.tm_mon + 1, when.tm_mday, when.tm_hour, when.tm_min, when.tm_sec,
             (int)(ms % 1000), zone);
    return text;
}

std::string column(sqlite3_stmt* row, int i) {
    const unsigned char* text = sqlite3_column_text(row, i);
    return text != nullptr ? reinterpret_cast<const char*>(text) : "";
}

std::string csvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}

std::string name(const char* const* names, int count, int value) {
    return value >= 0 && value < count ? names[value] : std::to_string(value);
}

}  // namespace

int upsctlHistory(int argc, char** argv) {
    static const struct option kOptions[] = {{"db", required_argument, nullptr, 'd'},
                                             {"since", required_argument, nullptr, 's'},
                                             {"events", no_argument, nullptr, 'e'},
                                             {"csv", no_argument, nullptr, 'c'},
                                             {"utc", no_argument, nullptr, 'u'},
                                             {"help", no_argument, nullptr, 'h'},
                                             {nullptr, 0, nullptr, 0}};
    std::string path;
    int64_t sinceMs = 24 * 3600 * 1000LL;
    bool events = false;
    bool csv = false;
    bool utc = false;
    int id;
    optind = 1;
    while ((id = getopt_long(argc, argv, "", kOptions, nullptr)) != -1) {
        switch (id) {
            case 'd':
                path = optarg;
                break;
            case 's':
                if (!parseDuration(optarg, &sinceMs)) {
                    fprintf(stderr, "upsctl: bad value for --since: '%s' (e.g. 90m, 24h, 7d)\n",
                            optarg);
                    return kUsage;
                }
                break;
            case 'e':
                events = true;
                break;
            case 'c':
                csv = true;
                break;
            case 'u':
                utc = true;
                break;
            case 'h':
                usage(stdout);
                return 0;
            default:
                usage(stderr);
                return kUsage;
        }
    }
    if (optind < argc) {
        fprintf(stderr, "upsctl: history takes no argument '%s'\n", argv[optind]);
        return kUsage;
    }
    if (path.empty()) path = defaultPath();

    // Read only, never created; with WAL a reader does not stop the program's writer.
    sqlite3* db = nullptr;
    int rc = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* version = nullptr;
    if (rc == SQLITE_OK) {
        sqlite3_busy_timeout(db, 2000);
        rc = sqlite3_prepare_v2(db, "PRAGMA user_version", -1, &version, nullptr);
    }
    // Each step says why it failed: a file that cannot be read (its -shm not
    // made in a folder we cannot write, a lock held) is not a wrong version.
    int schema = 0;
    if (rc == SQLITE_OK) {
        rc = sqlite3_step(version);
        if (rc == SQLITE_ROW) schema = sqlite3_column_int(version, 0);
        if (rc == SQLITE_ROW || rc == SQLITE_DONE) rc = SQLITE_OK;
    }
    sqlite3_finalize(version);
    if (rc != SQLITE_OK || schema < 1 || schema > kSchemaVersion) {
        if (rc != SQLITE_OK)
            fprintf(stderr, "upsctl: cannot read the history %s: %s\n", path.c_str(),
                    db != nullptr ? sqlite3_errmsg(db) : sqlite3_errstr(rc));
        else
            fprintf(stderr, "upsctl: %s is not a history file this upsctl reads (version %d)\n",
                    path.c_str(), schema);
        sqlite3_close(db);
        return kNoInput;
    }

    struct timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    const int64_t fromMs = (int64_t)now.tv_sec * 1000 + now.tv_nsec / 1000000 - sinceMs;
    const char* sql = events ? "SELECT t, kind, text FROM events WHERE t >= ? ORDER BY t, id"
                             : "SELECT t, charge, vin, vout, source, battery, do_bits, di_bits "
                               "FROM samples WHERE t >= ? ORDER BY t";
    sqlite3_stmt* rows = nullptr;
    rc = sqlite3_prepare_v2(db, sql, -1, &rows, nullptr);
    if (rc == SQLITE_OK) rc = sqlite3_bind_int64(rows, 1, fromMs);
    if (rc != SQLITE_OK) {
        fprintf(stderr, "upsctl: cannot read the history %s: %s\n", path.c_str(),
                sqlite3_errmsg(db));
        sqlite3_finalize(rows);
        sqlite3_close(db);
        return kNoInput;
    }

    // The CSV is the program's export, in UTC; the table in local time unless --utc.
    const int timeWidth = utc ? 24 : 29;
    if (csv)
        fputs(events ? "time,kind,text\r\n"
                     : "time,charge_percent,input_mv,output_mv,source,battery,do_bits,di_bits\r\n",
              stdout);
    else if (events)
        printf("%-*s  %-16s  %s\n", timeWidth, "time", "event", "text");
    else
        printf("%-*s  %6s  %9s  %9s  %-7s  %-11s  %2s  %2s\n", timeWidth, "time", "charge",
               "input_mv", "output_mv", "source", "battery", "DO", "DI");
    while ((rc = sqlite3_step(rows)) == SQLITE_ROW) {
        const std::string time = isoTime(sqlite3_column_int64(rows, 0), utc || csv);
        if (events) {
            const std::string kind = column(rows, 1);
            std::string text = column(rows, 2);
            if (csv) {
                printf("%s,%s,%s\r\n", time.c_str(), csvField(kind).c_str(),
                       csvField(text).c_str());
            } else {
                for (char& c : text)
                    if (c == '\r' || c == '\n') c = ' ';
                printf("%-*s  %-16s  %s\n", timeWidth, time.c_str(), kind.c_str(), text.c_str());
            }
            continue;
        }
        const std::string source = name(kSources, 3, sqlite3_column_int(rows, 4));
        const std::string battery = name(kBatteryStates, 3, sqlite3_column_int(rows, 5));
        if (csv) {
            printf("%s,%s,%s,%s,%s,%s,%s,%s\r\n", time.c_str(), column(rows, 1).c_str(),
                   column(rows, 2).c_str(), column(rows, 3).c_str(), source.c_str(),
                   battery.c_str(), column(rows, 6).c_str(), column(rows, 7).c_str());
        } else {
            printf("%-*s  %5s%%  %9s  %9s  %-7s  %-11s  %2s  %2s\n", timeWidth, time.c_str(),
                   column(rows, 1).c_str(), column(rows, 2).c_str(), column(rows, 3).c_str(),
                   source.c_str(), battery.c_str(), column(rows, 6).c_str(),
                   column(rows, 7).c_str());
        }
    }
    std::string failure;
    if (rc != SQLITE_DONE) failure = sqlite3_errmsg(db);
    sqlite3_finalize(rows);
    sqlite3_close(db);
    if (rc != SQLITE_DONE) {
        fprintf(stderr, "upsctl: the history %s could not be read to its end: %s\n", path.c_str(),
                failure.c_str());
        return kNoInput;
    }
    return 0;
}

bool readLearnedRate(const std::string& path, double* rate, std::string* why) {
    *rate = 0;
    struct stat st;
    if (stat(path.c_str(), &st) != 0 && errno == ENOENT) return true;
    sqlite3* db = nullptr;
    sqlite3_stmt* row = nullptr;
    int rc = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    if (rc == SQLITE_OK) {
        sqlite3_busy_timeout(db, 2000);
        rc = sqlite3_prepare_v2(db, "SELECT value FROM learned WHERE name = 'discharge_rate'", -1,
                                &row, nullptr);
    }
    bool ok = true;
    if (rc == SQLITE_OK) {
        rc = sqlite3_step(row);
        if (rc == SQLITE_ROW) {
            const double value = sqlite3_column_double(row, 0);
            if (isfinite(value) && value >= 0) {
                *rate = value;
            } else {
                ok = false;
                *why = "the learned discharge rate is no rate";
            }
        } else if (rc != SQLITE_DONE) {
            ok = false;
            *why = sqlite3_errmsg(db);
        }
    } else if (db != nullptr && strncmp(sqlite3_errmsg(db), "no such table", 13) == 0) {
        // A history from before the program learned rates: nothing learned.
    } else {
        ok = false;
        *why = db != nullptr ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
    }
    sqlite3_finalize(row);
    sqlite3_close(db);
    return ok;
}
