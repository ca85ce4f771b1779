#include "port_lock.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QStandardPaths>
#include <cerrno>
#include <csignal>

namespace {

// The folders Qt Serial Port looks in for lock files, in its order.
QStringList lockFolders()
{
    QStringList folders{QStringLiteral("/var/lock"),
                        QStringLiteral("/etc/locks"),
                        QStringLiteral("/var/spool/locks"),
                        QStringLiteral("/var/spool/uucp"),
                        QStringLiteral("/tmp"),
                        QStringLiteral("/var/tmp"),
                        QStringLiteral("/var/lock/lockdev"),
                        QStringLiteral("/run/lock")};
    folders << QStandardPaths::writableLocation(QStandardPaths::TempLocation);
    return folders;
}

bool processRuns(qint64 pid)
{
    // A process of another user can't be signalled, but it exists.
    return pid > 0 && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM);
}

QString processName(qint64 pid, const QString& nameInLock)
{
    QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
    if (comm.open(QIODevice::ReadOnly)) {
        const QString name = QString::fromLocal8Bit(comm.readAll()).trimmed();
        if (!name.isEmpty())
            return name;
    }
    return nameInLock;
}

} // namespace

std::optional<PortLock> findPortLock(const QString& portName)
{
    const QString fileName = QStringLiteral("LCK..") + QString(portName).replace(u'/', u'_');
    for (const QString& folder : lockFolders()) {
        const QString path = QDir(folder).filePath(fileName);
        if (!QFileInfo::exists(path))
            continue;
        PortLock lock;
        lock.path = path;
        lock.owner = QFileInfo(path).owner();
        QString host;
        QString nameInLock;
        if (!QLockFile(path).getLockInfo(&lock.pid, &host, &nameInLock))
            return std::nullopt; // unreadable: nothing certain to say about its holder
        lock.running = processRuns(lock.pid);
        if (lock.running)
            lock.program = processName(lock.pid, nameInLock);
        return lock;
    }
    return std::nullopt;
}
