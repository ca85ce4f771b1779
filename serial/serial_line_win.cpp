#include "serial_line.h"

#include <QtGlobal>
#include <algorithm>
#include <windows.h>

// Polled, with no thread and no waiting on comm events: the port's timeouts make every read
// return at once with what waits, and ClearCommError says how much that is. Any failure of
// either on an open port means the device has gone, whatever its code: drivers of unplugged
// adapters answer with many different ones.
struct SerialLine::Device
{
    HANDLE handle = INVALID_HANDLE_VALUE;
    qint64 bufferSize = 0;
};

namespace {

QString systemText(DWORD code)
{
    return qt_error_string(static_cast<int>(code));
}

// "COM3" as the device namespace spells it, so that COM10 and later open too.
std::wstring devicePath(const QString& device)
{
    const QString path =
        device.startsWith(QLatin1String("\\\\")) ? device : QStringLiteral("\\\\.\\") + device;
    return path.toStdWString();
}

PortProblem openProblem(DWORD code)
{
    switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
        return PortProblem::NoSuchDevice;
    // Windows gives a COM port to one program at a time.
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
        return PortProblem::Busy;
    default:
        return PortProblem::OtherFailure;
    }
}

BYTE dcbParity(Parity parity)
{
    switch (parity) {
    case Parity::Even:
        return EVENPARITY;
    case Parity::Odd:
        return ODDPARITY;
    case Parity::Mark:
        return MARKPARITY;
    case Parity::Space:
        return SPACEPARITY;
    case Parity::None:
        break;
    }
    return NOPARITY;
}

BYTE dcbStopBits(StopBits stopBits)
{
    switch (stopBits) {
    case StopBits::OneAndHalf:
        return ONE5STOPBITS;
    case StopBits::Two:
        return TWOSTOPBITS;
    case StopBits::One:
        break;
    }
    return ONESTOPBIT;
}

bool setLine(HANDLE handle, const LineSettings& settings)
{
    DCB dcb = {};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(handle, &dcb))
        return false;
    dcb.BaudRate = static_cast<DWORD>(settings.baudRate);
    dcb.ByteSize = static_cast<BYTE>(settings.dataBits);
    dcb.Parity = dcbParity(settings.parity);
    dcb.StopBits = dcbStopBits(settings.stopBits);
    dcb.fBinary = TRUE;
    dcb.fParity = settings.parity != Parity::None;
    // No handshaking, and DTR and RTS raised as a Linux open raises them: some thermometers
    // take their power from those lines.
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fErrorChar = FALSE;
    dcb.fNull = FALSE;
    dcb.fAbortOnError = FALSE;
    return SetCommState(handle, &dcb);
}

// Reads return at once with what waits, never waiting for more.
bool readWithoutWaiting(HANDLE handle)
{
    COMMTIMEOUTS timeouts = {};
    timeouts.ReadIntervalTimeout = MAXDWORD;
    return SetCommTimeouts(handle, &timeouts);
}

} // namespace

SerialLine::SerialLine(qint64 bufferSize) : m_device(std::make_unique<Device>())
{
    m_device->bufferSize = bufferSize;
}

SerialLine::~SerialLine()
{
    close();
}

bool SerialLine::open(const QString& device, const LineSettings& settings, PortReport& report)
{
    close();
    m_lostText.clear();
    const HANDLE handle = CreateFileW(devicePath(device).c_str(), GENERIC_READ, 0, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        report.problem = openProblem(code);
        report.systemText = systemText(code);
        return false;
    }
    if (!setLine(handle, settings) || !readWithoutWaiting(handle)) {
        const DWORD code = GetLastError();
        CloseHandle(handle);
        report.problem = PortProblem::SettingsRefused;
        report.systemText = systemText(code);
        return false;
    }
    m_device->handle = handle;
    return true;
}

bool SerialLine::applySettings(const LineSettings& settings)
{
    // A closed port takes the settings at its next open.
    return !isOpen() || setLine(m_device->handle, settings);
}

bool SerialLine::isOpen() const
{
    return m_device->handle != INVALID_HANDLE_VALUE;
}

void SerialLine::close()
{
    if (!isOpen())
        return;
    CloseHandle(m_device->handle);
    m_device->handle = INVALID_HANDLE_VALUE;
}

void SerialLine::lose(const QString& systemText)
{
    m_lostText = systemText;
    close();
}

std::optional<qint64> SerialLine::bytesWaiting()
{
    if (!isOpen()) {
        lose(QString());
        return std::nullopt;
    }
    DWORD errors = 0;
    COMSTAT status = {};
    if (!ClearCommError(m_device->handle, &errors, &status)) {
        lose(systemText(GetLastError()));
        return std::nullopt;
    }
    return std::min<qint64>(status.cbInQue, m_device->bufferSize);
}

std::optional<QByteArray> SerialLine::read()
{
    if (!isOpen()) {
        lose(QString());
        return std::nullopt;
    }
    QByteArray bytes(m_device->bufferSize, Qt::Uninitialized);
    DWORD got = 0;
    if (!ReadFile(m_device->handle, bytes.data(), static_cast<DWORD>(bytes.size()), &got,
                  nullptr)) {
        lose(systemText(GetLastError()));
        return std::nullopt;
    }
    bytes.truncate(static_cast<qsizetype>(got));
    return bytes;
}
