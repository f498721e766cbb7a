#include "InstanceGuard.h"

#include <csignal>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

using namespace Qt::Literals::StringLiterals;

InstanceGuard::InstanceGuard(const QString& lockPath)
    : m_path(lockPath)
    , m_lock(lockPath)
{
    // A running instance holds its lock however long it runs; only a dead owner frees it.
    m_lock.setStaleLockTime(0);
}

QString InstanceGuard::defaultLockPath()
{
    // Per user: one user's program never blocks another's.
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QFileInfo(runtime).isDir())
        return runtime + u"/Lorn2SingleInstMutex.lock"_s;
    return QDir::tempPath() + u"/Lorn2SingleInstMutex-%1.lock"_s.arg(::getuid());
}

InstanceGuard::State InstanceGuard::acquire()
{
    if (m_lock.tryLock(0))
        return State::Created;
    return m_lock.error() == QLockFile::LockFailedError ? State::AlreadyExists : State::CannotCreate;
}

bool InstanceGuard::acquireAfterTermination(int timeoutMs)
{
    return m_lock.tryLock(timeoutMs);
}

int TerminateOtherInstances(const QString& imageName)
{
    const QByteArray wanted = imageName.toLocal8Bit();
    const pid_t self = getpid();
    int signalled = 0;
    const QStringList entries = QDir(u"/proc"_s).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& entry : entries) {
        bool isPid = false;
        const pid_t pid = static_cast<pid_t>(entry.toLongLong(&isPid));
        if (!isPid || pid == self)
            continue;
        // Only this user's own instances; another user's program is none of ours.
        struct stat owner {};
        if (::stat(QFile::encodeName(u"/proc/"_s + entry).constData(), &owner) != 0 || owner.st_uid != ::getuid())
            continue;
        QFile comm(u"/proc/"_s + entry + u"/comm"_s);
        if (!comm.open(QIODevice::ReadOnly))
            continue;
        // The kernel keeps at most 15 bytes of the name.
        const QByteArray name = comm.readAll().trimmed();
        if (name != wanted.left(15))
            continue;
        if (wanted.size() > 15) {
            const QString exe = QFile::symLinkTarget(u"/proc/"_s + entry + u"/exe"_s);
            if (QFileInfo(exe).fileName() != imageName)
                continue;
        }
        if (kill(pid, SIGKILL) == 0)
            ++signalled;
    }
    return signalled;
}
