#pragma once

// Linux's serial ports as Qt lists them, and how port n picks one of them.

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
