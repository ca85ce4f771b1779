#pragma once

// What the port saw at its last open, and whether the device has gone since: the device
// opened or tried and, when the port is not receiving, why. The window explains it to the
// user from this alone.

#include "port_lock.h"

#include <QString>
#include <optional>

enum class PortProblem
{
    None,             // open and receiving, or never opened
    NoPortPresent,    // ZELVAX_COMn unset and fewer than n serial ports present
    NoSuchDevice,     // nothing at the device path
    PermissionDenied, // the user may not open the device
    Busy,             // another program holds the device
    SettingsRefused,  // the device opened but took no line settings: not a serial line
    TimedOut,         // the open waited in vain for the port's far end (Bluetooth, network)
    DeviceLost,       // the device went away while open (an unplugged adapter)
    OtherFailure,
};

struct PortReport
{
    int port = 0;        // the n of COMn; 0 before the first open
    QString device;      // the path opened or tried; empty when no port n is present
    QString description; // the adapter's own name, when the system gives one
    PortProblem problem = PortProblem::None;
    QString systemText;           // the system's words for the failure
    QString group;                // the group owning the device, when permission was denied
    std::optional<PortLock> lock; // the lock file that makes the device busy, if any
};
