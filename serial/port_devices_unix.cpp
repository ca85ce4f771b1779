// Port n is the n-th serial port present, from Qt's listing of the system's devices.

#include "port_listing_unix.h"
#include "port_mapping.h"

#include <QSerialPortInfo>

namespace {

std::vector<PresentPort> presentPorts()
{
    std::vector<PresentPort> ports;
    const QList<QSerialPortInfo> available = QSerialPortInfo::availablePorts();
    ports.reserve(available.size());
    for (const QSerialPortInfo& info : available)
        ports.push_back({info.portName(), info.systemLocation(), info.description()});
    return withHardware(std::move(ports));
}

} // namespace

// The ports present, listed at the lookup's first question: listing them takes milliseconds.
struct PortLookup::SystemPorts
{
    std::vector<PresentPort> present = presentPorts();
};

PortLookup::PortLookup() = default;
PortLookup::~PortLookup() = default;

std::optional<PortDevice> PortLookup::systemDevice(int port)
{
    if (!m_system)
        m_system = std::make_unique<SystemPorts>();
    const std::optional<PresentPort> present = numberedPort(port, m_system->present);
    if (!present)
        return std::nullopt;
    return PortDevice{present->systemLocation, present->description, false};
}
