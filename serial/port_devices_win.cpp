// On Windows the system numbers the ports itself: port n is COMn, and whether it exists is
// known only when it is opened.

#include "port_mapping.h"

struct PortLookup::SystemPorts
{
};

PortLookup::PortLookup() = default;
PortLookup::~PortLookup() = default;

std::optional<PortDevice> PortLookup::systemDevice(int port)
{
    return PortDevice{QStringLiteral("COM%1").arg(port), QString(), false};
}
