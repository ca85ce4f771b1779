#include "mscomm.h"

#include "port_mapping.h"

namespace {
constexpr int firstPort = 1;
constexpr int lastPort = 16;
} // namespace

MSComm::MSComm(QObject* parent) : QObject(parent) {}
MSComm::~MSComm()
{
    close();
}

bool MSComm::setCommPort(int port)
{
    if (m_open || port < firstPort || port > lastPort)
        return false;
    m_commPort = port;
    return true;
}

bool MSComm::setSettings(const QString& settings)
{
    const std::optional<LineSettings> parsed = parseLineSettings(settings);
    if (!parsed)
        return false;
    m_settings = *parsed;
    if (!m_open)
        return true;
    // A port that is open takes the new settings at once.
    return m_line.applySettings(m_settings);
}

bool MSComm::setPortOpen(bool open)
{
    if (open == m_open)
        return false;
    if (open)
        return this->open();
    close();
    return true;
}

bool MSComm::open()
{
    m_report = PortReport{};
    m_report.port = m_commPort;
    const std::optional<PortDevice> device = deviceForPort(m_commPort);
    if (!device) {
        m_report.problem = PortProblem::NoPortPresent;
        return false;
    }
    m_report.device = device->path;
    m_report.description = device->description;
    if (!m_line.open(device->path, m_settings, m_report))
        return false;
    m_open = true;
    m_lost = false;
    return true;
}

void MSComm::close()
{
    m_line.close();
    m_open = false;
    m_lost = false;
}

void MSComm::noteLostDevice()
{
    // The line has closed itself, so that a replugged adapter can be opened again.
    m_lost = true;
    m_report.problem = PortProblem::DeviceLost;
    m_report.systemText = m_line.lostText();
}

std::optional<qint64> MSComm::inBufferCount()
{
    if (!receiving())
        return std::nullopt;
    const std::optional<qint64> waiting = m_line.bytesWaiting();
    if (!waiting)
        noteLostDevice();
    return waiting;
}

std::optional<QString> MSComm::input()
{
    if (!receiving())
        return std::nullopt;
    const std::optional<QByteArray> bytes = m_line.read();
    if (!bytes) {
        noteLostDevice();
        return std::nullopt;
    }
    // One character per byte: Latin-1 maps every byte value onto the code unit of that value.
    m_lastInput = QString::fromLatin1(*bytes);
    return m_lastInput;
}
