// upsctl --config FILE: the settings file read into options.
#include "upsctlConfig.h"

#include <errno.h>
#include <stdio.h>
#include <string.h>

namespace {

const size_t kMaxLine = 4096;
const int kMaxSettings = 64;

std::string trim(const std::string& s) {
    const size_t a = s.find_first_not_of(" \t\r\n");
    if (a == std::string::npos) return std::string();
    const size_t b = s.find_last_not_of(" \t\r\n");
    return s.substr(a, b - a + 1);
}

const struct option* findOption(const struct option* options, const std::string& key) {
    for (const struct option* o = options; o->name != nullptr; ++o)
        if (key == o->name) return o;
    return nullptr;
}

bool readFile(const char* path, const struct option* options, std::vector<std::string>* out) {
#ifdef _WIN32
    FILE* f = fopen(path, "r");
#else
    FILE* f = fopen(path, "re");  // not inherited by the hooks
#endif
    if (f == nullptr) {
        fprintf(stderr, "upsctl: cannot read %s: %s\n", path, strerror(errno));
        return false;
    }
    char buffer[kMaxLine + 2];
    int lineNo = 0;
    int settings = 0;
    bool ok = true;
    while (ok && fgets(buffer, sizeof buffer, f) != nullptr) {
        ++lineNo;
        const size_t length = strlen(buffer);
        if (length > kMaxLine && buffer[length - 1] != '\n') {
            fprintf(stderr, "upsctl: %s:%d: line too long\n", path, lineNo);
            ok = false;
            break;
        }
        const std::string line = trim(std::string(buffer, length));
        if (line.empty() || line[0] == '#') continue;
        const size_t eq = line.find('=');
        if (eq == std::string::npos) {
            fprintf(stderr, "upsctl: %s:%d: expected 'key = value'\n", path, lineNo);
            ok = false;
            break;
        }
        const std::string key = trim(line.substr(0, eq));
        std::string value = trim(line.substr(eq + 1));
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
            value = value.substr(1, value.size() - 2);
        if (++settings > kMaxSettings) {
            fprintf(stderr, "upsctl: %s:%d: more than %d settings\n", path, lineNo, kMaxSettings);
            ok = false;
            break;
        }
        const struct option* o = findOption(options, key);
        if (o == nullptr || key == "config" || key == "help") {
            fprintf(stderr, "upsctl: %s:%d: unknown setting '%s'\n", path, lineNo, key.c_str());
            ok = false;
        } else if (o->has_arg == no_argument) {
            if (value == "yes" || value == "true" || value == "1") {
                out->push_back("--" + key);
            } else if (!(value == "no" || value == "false" || value == "0")) {
                fprintf(stderr, "upsctl: %s:%d: '%s' takes yes or no, not '%s'\n", path, lineNo,
                        key.c_str(), value.c_str());
                ok = false;
            }
        } else {
            out->push_back("--" + key);
            out->push_back(value);
        }
    }
    if (ok && ferror(f)) {
        fprintf(stderr, "upsctl: cannot read %s\n", path);
        ok = false;
    }
    fclose(f);
    return ok;
}

}  // namespace

bool expandConfig(int* argc, char*** argv, const struct option* options,
                  std::vector<std::string>* store, std::vector<char*>* pointers) {
    std::vector<std::string> kept;
    std::vector<std::string> added;
    size_t endOfOptions = std::string::npos;  // where "--" stands in kept
    bool found = false;
    for (int k = 0; k < *argc; ++k) {
        const char* arg = (*argv)[k];
        const char* path = nullptr;
        if (k > 0 && strcmp(arg, "--config") == 0) {
            if (k + 1 >= *argc) {
                fprintf(stderr, "upsctl: --config needs a file\n");
                return false;
            }
            path = (*argv)[++k];
        } else if (k > 0 && strncmp(arg, "--config=", 9) == 0) {
            path = arg + 9;
        } else if (k > 0 && strcmp(arg, "--") == 0) {
            endOfOptions = kept.size();
            for (; k < *argc; ++k)
                kept.push_back((*argv)[k]);
            break;
        }
        if (path == nullptr) {
            kept.push_back(arg);
            continue;
        }
        if (found) {
            fprintf(stderr, "upsctl: --config given twice\n");
            return false;
        }
        found = true;
        if (!readFile(path, options, &added)) return false;
    }
    if (!found) return true;
    // The settings go before a "--", after which everything is an argument.
    *store = kept;
    store->insert(endOfOptions == std::string::npos ? store->end() : store->begin() + endOfOptions,
                  added.begin(), added.end());
    pointers->clear();
    for (std::string& s : *store)
        pointers->push_back(&s[0]);
    pointers->push_back(nullptr);
    *argc = static_cast<int>(store->size());
    *argv = pointers->data();
    return true;
}
