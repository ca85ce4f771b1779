// Port n is the n-th serial port present, from Qt's listing of the system's devices.

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

std::optional<PortDevice> PortLookup::systemDevice(int port)
{
    if (!m_present)
        m_present = presentPorts();
    const std::optional<PresentPort> present = numberedPort(port, *m_present);
    if (!present)
        return std::nullopt;
    return PortDevice{present->systemLocation, present->description, false};
}
