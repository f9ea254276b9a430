// The driver's files in NUT's state folder (pid file, socket owner), made without following links.
#pragma once

#include <sys/types.h>
#include <string>

struct passwd;

namespace stateFiles {

// The pid of a live driver that holds this UPS: one answers on the socket, or
// the pid file names a running qxups-nut. 0 when none does.
pid_t liveDriver(const std::string& socketPath, const std::string& pidPath);

// Writes the pid file through a new file renamed over the old name, so a link
// planted at that name is replaced, never followed; owner and mode are set on
// the descriptor. False with errno set.
bool writePidFile(const std::string& path, pid_t pid, const struct passwd* account);

// Hands the socket just bound at path to the account without following a link
// there; refuses anything that is not a socket. False with errno set.
bool handSocket(const std::string& path, const struct passwd* account);

}  // namespace stateFiles
