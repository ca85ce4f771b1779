#include "mscomm.h"

#include "line_hang_up.h"
#include "port_mapping.h"

#include <QFileInfo>

namespace {
constexpr int firstPort = 1;
constexpr int lastPort = 16;
} // namespace

MSComm::MSComm(QObject* parent) : QObject(parent)
{
    // A bounded buffer: once it is full, QSerialPort stops taking bytes from the device
    // until the next read, so nothing is dropped here and memory stays flat under a flood.
    m_serial.setReadBufferSize(receiveBufferSize);
}

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
    return applySettings();
}

bool MSComm::applySettings()
{
    return m_serial.setBaudRate(m_settings.baudRate) && m_serial.setParity(m_settings.parity) &&
           m_serial.setDataBits(m_settings.dataBits) && m_serial.setStopBits(m_settings.stopBits);
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
    m_serial.setPortName(device->path);
    // On a closed port these only store the values; the open applies them, and fails if
    // the device refuses them.
    static_cast<void>(applySettings());
    // Receive only: the thermometer is never written to, and handshaking stays at the
    // port's default of none.
    if (!m_serial.open(QIODevice::ReadOnly)) {
        reportOpenFailure();
        return false;
    }
    m_open = true;
    m_lost = false;
    return true;
}

void MSComm::reportOpenFailure()
{
    m_report.systemText = m_serial.errorString();
    const QFileInfo device(m_report.device);
    switch (m_serial.error()) {
    case QSerialPort::DeviceNotFoundError:
        m_report.problem = PortProblem::NoSuchDevice;
        break;
    case QSerialPort::PermissionError:
        // Qt reports a device that another program holds (its lock file, or an exclusive
        // open) as a permission error too; a device the user may read is a busy one.
        if (device.isReadable()) {
            m_report.problem = PortProblem::Busy;
            m_report.lock = findPortLock(m_serial.portName());
        } else {
            m_report.problem = PortProblem::PermissionDenied;
            m_report.group = device.group();
        }
        break;
    case QSerialPort::UnsupportedOperationError:
        m_report.problem = PortProblem::SettingsRefused;
        break;
    default:
        m_report.problem = PortProblem::OtherFailure;
        break;
    }
}

void MSComm::close()
{
    if (m_serial.isOpen())
        m_serial.close();
    m_open = false;
    m_lost = false;
}

bool MSComm::stillReceiving()
{
    if (!receiving())
        return false;
    // Asked of the descriptor at every count and read: how a hang-up reaches Qt's error
    // signal, if at all, differs between Qt versions, and a hung-up descriptor that stays
    // open keeps Qt's read notifier firing and holds the device's name, so a replugged
    // adapter would come back under another one.
    if (m_serial.isOpen() && !lineHungUp(m_serial.handle()))
        return true;
    m_lost = true;
    m_report.problem = PortProblem::DeviceLost;
    m_report.systemText = m_serial.errorString();
    if (m_serial.isOpen())
        m_serial.close();
    return false;
}

std::optional<qint64> MSComm::inBufferCount()
{
    if (!stillReceiving())
        return std::nullopt;
    return m_serial.bytesAvailable();
}

std::optional<QString> MSComm::input()
{
    if (!stillReceiving())
        return std::nullopt;
    // One character per byte: Latin-1 maps every byte value onto the code unit of that value.
    m_lastInput = QString::fromLatin1(m_serial.readAll());
    return m_lastInput;
}
