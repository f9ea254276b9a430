// The single-instance guard: an exclusive flock on a lock file in a folder
// that only the user can write: $XDG_RUNTIME_DIR when it is set and safe
// (owned by the user, writable by nobody else), otherwise the per-user
// folder QXUPSUtility in $XDG_CACHE_HOME (or ~/.cache), made 0700. Never a
// shared folder such as /tmp, where another user could hold the lock or plant
// a link. The kernel drops the lock when the holder ends, however it ends; the
// descriptor is close-on-exec, so no child keeps it; the holder writes its pid
// into the file, so that others can find the running instance.
#pragma once

#include <QString>

class instanceLock {
public:
    enum Outcome {
        Acquired,       // this process is the only instance
        HeldElsewhere,  // another process holds the lock
        Unavailable,    // no safe lock file; run without the guard (logged)
    };

    explicit instanceLock(const QString& name);
    ~instanceLock();
    instanceLock(const instanceLock&) = delete;
    instanceLock& operator=(const instanceLock&) = delete;

    // The lock file must be a regular file of the user's with no other link;
    // anything else is left untouched and the outcome is Unavailable, which
    // also logs (stderr and, once the event loop runs, the message page) that
    // the program runs without the guard.
    Outcome acquire();
    // Gives the lock up (before a restart); harmless when not held.
    void release();
    bool held() const { return m_fd >= 0; }
    // The lock file; empty when no safe folder was found.
    const QString& path() const { return m_path; }

private:
    void logUnguarded(const QString& what) const;

    QString m_path;
    QString m_unsafeFolder;  // the folder refused, when m_path is empty
    int m_fd = -1;
};
