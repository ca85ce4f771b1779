#include "port_mapping.h"

#include <QByteArray>
#include <QtGlobal>

std::optional<PortDevice> PortLookup::deviceForPort(int port)
{
    const QByteArray variable = "ZELVAX_COM" + QByteArray::number(port);
    const QString configured = qEnvironmentVariable(variable.constData());
    if (!configured.isEmpty())
        return PortDevice{configured, QString(), true};
    return systemDevice(port);
}
