// The single-instance guard: an exclusive flock on a lock file in the user's
// runtime folder. The kernel drops the lock when the holder ends, however it
// ends; the descriptor is close-on-exec, so no child keeps it; the holder
// writes its pid into the file, so that others can find the running instance.
#pragma once

#include <QString>

class instanceLock {
public:
    enum Outcome {
        Acquired,       // this process is the only instance
        HeldElsewhere,  // another process holds the lock
        Unavailable,    // the lock file cannot be used; run as the only instance
    };

    explicit instanceLock(const QString& name);
    ~instanceLock();
    instanceLock(const instanceLock&) = delete;
    instanceLock& operator=(const instanceLock&) = delete;

    Outcome acquire();
    // Gives the lock up (before a restart); harmless when not held.
    void release();
    bool held() const { return m_fd >= 0; }
    const QString& path() const { return m_path; }

private:
    QString m_path;
    int m_fd = -1;
};
