// The driver's files in NUT's state folder (root:nut 0770, so the nut account can plant
// links there): the pid file, and the check for a driver already serving the same UPS.
#pragma once

#include <sys/types.h>

#include <string>

namespace statefolder {

// The pid in the pid file when it names a live qxups-nut (not this one), else 0.
// A link or anything but a regular file there is not read.
pid_t livePid(const std::string& pidPath);

// Writes the pid file through a temporary file and a rename, owner and mode set
// on the descriptor, so a link planted at the path is replaced, never followed.
// owner/group (uid_t)-1 keep root's. False with errno set.
bool writePidFile(const std::string& pidPath, pid_t pid, uid_t owner, gid_t group);

// Removes the pid file when it still holds pid (a newer driver's is left alone).
void removePidFile(const std::string& pidPath, pid_t pid);

}  // namespace statefolder
