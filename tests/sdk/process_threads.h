// The threads of the test process, on Linux from /proc and on Windows (under
// Wine) from a Toolhelp snapshot: the tests count the library's threads.
#pragma once

#ifdef _WIN32
#include <winsock2.h>  // before windows.h, which the test line needs too
#include <windows.h>
#include <tlhelp32.h>
#else
#include <dirent.h>
#endif

#include <set>
#include <string>

namespace testing_support {

inline std::set<std::string> threadIds() {
    std::set<std::string> ids;
#ifdef _WIN32
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return ids;
    THREADENTRY32 entry;
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID == GetCurrentProcessId())
            ids.insert(std::to_string(entry.th32ThreadID));
    }
    CloseHandle(snapshot);
#else
    DIR* dir = opendir("/proc/self/task");
    while (dir != nullptr) {
        struct dirent* e = readdir(dir);
        if (e == nullptr) break;
        if (e->d_name[0] != '.') ids.insert(e->d_name);
    }
    if (dir != nullptr) closedir(dir);
#endif
    return ids;
}

inline int threadCount() {
    return (int)threadIds().size();
}

}  // namespace testing_support
