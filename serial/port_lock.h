#pragma once

// Who holds a serial device's lock file. Qt Serial Port refuses a device whose lock file
// (LCK..ttyUSB0 in the system's lock folder) names another process, and it cannot remove a
// stale one that another user left in a folder where only the owner may delete: the user is
// told which program holds the device, or which file to remove.

#include <QString>
#include <optional>

struct PortLock
{
    QString path;         // "/run/lock/LCK..ttyUSB0"
    QString owner;        // the user the file belongs to
    qint64 pid = 0;       // the process the file names
    bool running = false; // whether that process still runs
    QString program;      // its name, when it can be read
};

// The lock file of the port Qt names portName ("ttyUSB0", "pts/3"), looked up where Qt
// Serial Port puts it; nothing when there is none or it cannot be read.
[[nodiscard]] std::optional<PortLock> findPortLock(const QString& portName);
