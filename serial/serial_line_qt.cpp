#include "line_hang_up.h"
#include "port_lock.h"
#include "serial_line.h"

#include <QFileInfo>
#include <QSerialPort>

struct SerialLine::Device
{
    QSerialPort port;
};

namespace {

QSerialPort::Parity qtParity(Parity parity)
{
    switch (parity) {
    case Parity::Even:
        return QSerialPort::EvenParity;
    case Parity::Odd:
        return QSerialPort::OddParity;
    case Parity::Mark:
        return QSerialPort::MarkParity;
    case Parity::Space:
        return QSerialPort::SpaceParity;
    case Parity::None:
        break;
    }
    return QSerialPort::NoParity;
}

} // namespace

// Qt Serial Port on Linux would quietly run such a line with one stop bit instead.
bool offersOneAndHalfStopBits()
{
    return false;
}

namespace {

QSerialPort::StopBits qtStopBits(StopBits stopBits)
{
    switch (stopBits) {
    case StopBits::OneAndHalf:
        return QSerialPort::OneAndHalfStop;
    case StopBits::Two:
        return QSerialPort::TwoStop;
    case StopBits::One:
        break;
    }
    return QSerialPort::OneStop;
}

void reportOpenFailure(const QSerialPort& port, PortReport& report)
{
    report.systemText = port.errorString();
    const QFileInfo device(report.device);
    switch (port.error()) {
    case QSerialPort::DeviceNotFoundError:
        report.problem = PortProblem::NoSuchDevice;
        break;
    case QSerialPort::PermissionError:
        // Qt reports a device that another program holds (its lock file, or an exclusive
        // open) as a permission error too; a device the user may read is a busy one.
        if (device.isReadable()) {
            report.problem = PortProblem::Busy;
            report.lock = findPortLock(port.portName());
        } else {
            report.problem = PortProblem::PermissionDenied;
            report.group = device.group();
        }
        break;
    case QSerialPort::UnsupportedOperationError:
        report.problem = PortProblem::SettingsRefused;
        break;
    default:
        report.problem = PortProblem::OtherFailure;
        break;
    }
}

} // namespace

SerialLine::SerialLine(qint64 bufferSize) : m_device(std::make_unique<Device>())
{
    // A bounded buffer: once it is full, QSerialPort stops taking bytes from the device
    // until the next read.
    m_device->port.setReadBufferSize(bufferSize);
}

SerialLine::~SerialLine() = default;

bool SerialLine::open(const QString& device, const LineSettings& settings, PortReport& report)
{
    m_lostText.clear();
    QSerialPort& port = m_device->port;
    port.setPortName(device);
    // On a closed port these only store the values; the open applies them, and fails if
    // the device refuses them.
    static_cast<void>(applySettings(settings));
    // Receive only: the thermometer is never written to, and handshaking stays at the
    // port's default of none.
    if (port.open(QIODevice::ReadOnly))
        return true;
    reportOpenFailure(port, report);
    return false;
}

bool SerialLine::applySettings(const LineSettings& settings)
{
    QSerialPort& port = m_device->port;
    return port.setBaudRate(settings.baudRate) && port.setParity(qtParity(settings.parity)) &&
           port.setDataBits(static_cast<QSerialPort::DataBits>(settings.dataBits)) &&
           port.setStopBits(qtStopBits(settings.stopBits));
}

bool SerialLine::isOpen() const
{
    return m_device->port.isOpen();
}

void SerialLine::close()
{
    if (m_device->port.isOpen())
        m_device->port.close();
}

void SerialLine::lose(const QString& systemText)
{
    m_lostText = systemText;
    close();
}

std::optional<qint64> SerialLine::bytesWaiting()
{
    // Asked of the descriptor at every count and read: how a hang-up reaches Qt's error
    // signal, if at all, differs between Qt versions, and a hung-up descriptor that stays
    // open keeps Qt's read notifier firing and holds the device's name, so a replugged
    // adapter would come back under another one.
    QSerialPort& port = m_device->port;
    if (!port.isOpen() || lineHungUp(port.handle())) {
        lose(port.errorString());
        return std::nullopt;
    }
    return port.bytesAvailable();
}

std::optional<QByteArray> SerialLine::read()
{
    if (!bytesWaiting())
        return std::nullopt;
    return m_device->port.readAll();
}
