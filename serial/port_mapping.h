#pragma once

// Which device a port number opens: the device named in ZELVAX_COMn, else the n-th serial
// port present on this computer, on-board ports first. Worked out afresh at every open, so an
// adapter plugged in after start is found when the line is chosen again.

#include <QString>
#include <optional>
#include <vector>

// A serial port as the system lists it.
struct PresentPort
{
    QString portName;       // "ttyUSB0"
    QString systemLocation; // "/dev/ttyUSB0"
    QString description;    // the adapter's own name, "FT232R USB UART", or empty
};

// The ports that have a device behind them. The kernel makes ttyS0 to ttyS3 on a PC whether or
// not it has those ports, and says which have no UART by their type in sysfs (0, unknown);
// those are left out. Ports of other drivers (USB adapters, CDC devices) have no such type
// and stay. Qt's own listing leaves the empty ones out on some kernels only, not on 6.5 and
// later, whose serial ports sit under a device layout it does not know.
[[nodiscard]] std::vector<PresentPort>
withHardware(std::vector<PresentPort> ports,
             const QString& ttyClassFolder = QStringLiteral("/sys/class/tty"));

// The port that number n (from 1) picks among the ports present, counting on-board ports
// (ttyS) first by number, then every other port in the natural order of its name, so ttyUSB2
// comes before ttyUSB10. Nothing when fewer than n ports are present.
[[nodiscard]] std::optional<PresentPort> numberedPort(int port, std::vector<PresentPort> present);

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
    [[nodiscard]] std::optional<PortDevice> deviceForPort(int port);

private:
    // Port n as this system numbers its ports.
    [[nodiscard]] std::optional<PortDevice> systemDevice(int port);

    std::optional<std::vector<PresentPort>> m_present;
};

[[nodiscard]] inline std::optional<PortDevice> deviceForPort(int port)
{
    return PortLookup().deviceForPort(port);
}
