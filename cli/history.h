// upsctl history: reads the program's history file (SQLite, WAL) as a second
// reader, with SQLite's C library; the module is not touched.
#pragma once

// argv[0] is "history"; returns the exit status.
int upsctlHistory(int argc, char** argv);

#include <string>

// The discharge rate (percent per second) the program learned, from its
// history file, read only. No file, no table of learned values or no row
// yet: true with 0 (nothing learned). False, with why, when the file is
// there but cannot be read or holds no rate.
bool readLearnedRate(const std::string& path, double* rate, std::string* why);
