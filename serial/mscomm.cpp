#include "mscomm.h"

#include <QMetaObject>
#include <QtGlobal>

namespace {
constexpr int firstPort = 1;
constexpr int lastPort = 16;
} // namespace

QString deviceForPort(int port)
{
    const QByteArray variable = "ZELVAX_COM" + QByteArray::number(port);
    const QString configured = qEnvironmentVariable(variable.constData());
    if (!configured.isEmpty())
        return configured;
#ifdef Q_OS_WIN
    return QStringLiteral("COM%1").arg(port);
#else
    return QStringLiteral("/dev/ttyS%1").arg(port - 1);
#endif
}

MSComm::MSComm(QObject* parent) : QObject(parent)
{
    // A bounded buffer: once it is full, QSerialPort stops taking bytes from the device
    // until the next read, so nothing is dropped here and memory stays flat under a flood.
    m_serial.setReadBufferSize(receiveBufferSize);
    connect(&m_serial, &QSerialPort::errorOccurred, this, &MSComm::onError);
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
    m_serial.setPortName(deviceForPort(m_commPort));
    // On a closed port these only store the values; the open applies them, and fails if
    // the device refuses them.
    static_cast<void>(applySettings());
    // Receive only: the thermometer is never written to, and handshaking stays at the
    // port's default of none.
    if (!m_serial.open(QIODevice::ReadOnly))
        return false;
    m_open = true;
    m_lost = false;
    return true;
}

void MSComm::close()
{
    if (m_serial.isOpen())
        m_serial.close();
    m_open = false;
    m_lost = false;
}

std::optional<qint64> MSComm::inBufferCount()
{
    if (!receiving())
        return std::nullopt;
    return m_serial.bytesAvailable();
}

std::optional<QString> MSComm::input()
{
    if (!receiving())
        return std::nullopt;
    // One character per byte: Latin-1 maps every byte value onto the code unit of that value.
    return QString::fromLatin1(m_serial.readAll());
}

void MSComm::onError(QSerialPort::SerialPortError error)
{
    // A device that went away shows up as one of two errors: a failing read (an unplugged
    // adapter) or, on a hung-up pseudo-terminal, a read that returns nothing though the
    // descriptor says it is readable. Qt reports the latter as a read error with whatever
    // errno was left over, typically the harmless "inappropriate ioctl" or "invalid
    // argument" of line-control requests a pseudo-terminal does not support. Other errors
    // (those same line-control refusals among them) leave a working line alone.
    const bool gone = error == QSerialPort::ResourceError || error == QSerialPort::ReadError;
    if (!gone || !m_open || m_lost)
        return;
    m_lost = true;
    // Close later, not inside QSerialPort's own notification that is reporting the error;
    // a closed descriptor also stops the read notifier from firing on the hung-up device
    // over and over.
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (m_lost && m_serial.isOpen())
                m_serial.close();
        },
        Qt::QueuedConnection);
}
