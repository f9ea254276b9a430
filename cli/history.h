// upsctl history: reads the program's history file (SQLite, WAL) as a second
// reader, with SQLite's C library; the module is not touched.
#pragma once

// argv[0] is "history"; returns the exit status.
int upsctlHistory(int argc, char** argv);
