#pragma once

// Which device a port number opens: the device named in ZELVAX_COMn, else the n-th serial
// port present on this computer, on-board ports first. Worked out afresh at every open, so an
// adapter plugged in after start is found when the line is chosen again.

#include <QString>
#include <memory>
#include <optional>

struct PortDevice
{
    QString path;
    QString description; // the adapter's name when the system gives one
    bool fromEnvironment = false;
};

// The device port n opens, or nothing when ZELVAX_COMn is unset and fewer than n ports are
// present. On Windows, port n is COMn. The ports present are listed once per lookup object,
// however many port numbers it is asked about: listing them takes milliseconds.
class PortLookup
{
public:
    PortLookup();
    ~PortLookup();
    PortLookup(const PortLookup&) = delete;
    PortLookup& operator=(const PortLookup&) = delete;

    [[nodiscard]] std::optional<PortDevice> deviceForPort(int port);

private:
    // What this system tells of its ports, kept for the lookup's later questions; defined in
    // the platform's file.
    struct SystemPorts;

    // Port n as this system numbers its ports.
    [[nodiscard]] std::optional<PortDevice> systemDevice(int port);

    std::unique_ptr<SystemPorts> m_system;
};

[[nodiscard]] inline std::optional<PortDevice> deviceForPort(int port)
{
    return PortLookup().deviceForPort(port);
}
