#pragma once

#include <QLockFile>
#include <QString>

// Tells whether another instance of the program runs, through a lock file that a live process
// holds for as long as it runs.
class InstanceGuard
{
public:
    enum class State { Created, AlreadyExists, CannotCreate };

    explicit InstanceGuard(const QString& lockPath = defaultLockPath());
    State acquire();
    // Tries again for a while, after the other instances were asked to end.
    bool acquireAfterTermination(int timeoutMs);
    bool isHeld() const { return m_lock.isLocked(); }
    QString lockPath() const { return m_path; }

    static QString defaultLockPath();

private:
    QString m_path;
    QLockFile m_lock;
};

// Kills (signal 9) every process of this user whose executable name is `imageName`, except this
// one; other users' processes are left alone. Returns how many were signalled.
int TerminateOtherInstances(const QString& imageName = QStringLiteral("lorn2"));
