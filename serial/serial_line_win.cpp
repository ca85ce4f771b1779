#include "comm_calls_win.h"
#include "serial_line.h"

#include <QtGlobal>
#include <algorithm>

// Polled, with no thread and no waiting on comm events: the port's timeouts make every read
// return at once with what waits, and ClearCommError says how much that is. Any failure of
// either on an open port means the device has gone, whatever its code: drivers of unplugged
// adapters answer with many different ones.
struct SerialLine::Device
{
    const CommCalls& calls;
    qint64 bufferSize = 0;
    HANDLE handle = INVALID_HANDLE_VALUE;
};

namespace {

HANDLE WINAPI openForReading(const wchar_t* path)
{
    return CreateFileW(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                       nullptr);
}

BOOL WINAPI readAtOnce(HANDLE handle, void* buffer, DWORD size, DWORD* got)
{
    return ReadFile(handle, buffer, size, got, nullptr);
}

constexpr CommCalls systemCalls{openForReading, GetCommState, SetCommState, SetCommTimeouts,
                                ClearCommError, readAtOnce,   CloseHandle,  GetLastError};
const CommCalls* currentCalls = &systemCalls;

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
    case ERROR_DEV_NOT_EXIST:
        return PortProblem::NoSuchDevice;
    case ERROR_SHARING_VIOLATION:
    case ERROR_BUSY:
        return PortProblem::Busy;
    // Windows gives a COM port to one program at a time and refuses the next one this way,
    // the same as a user the port's permissions leave out; its text names both causes.
    case ERROR_ACCESS_DENIED:
        return PortProblem::PermissionDenied;
    // A port whose far end must first be reached: a Bluetooth or network port.
    case ERROR_SEM_TIMEOUT:
    case WAIT_TIMEOUT:
    case ERROR_TIMEOUT:
        return PortProblem::TimedOut;
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

} // namespace

// Windows drivers run a line with one and a half stop bits.
bool offersOneAndHalfStopBits()
{
    return true;
}

namespace {

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

bool setLine(const CommCalls& calls, HANDLE handle, const LineSettings& settings)
{
    DCB dcb = {};
    dcb.DCBlength = sizeof dcb;
    if (!calls.getState(handle, &dcb))
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
    return calls.setState(handle, &dcb);
}

// Reads return at once with what waits, never waiting for more.
bool readWithoutWaiting(const CommCalls& calls, HANDLE handle)
{
    COMMTIMEOUTS timeouts = {};
    timeouts.ReadIntervalTimeout = MAXDWORD;
    return calls.setTimeouts(handle, &timeouts);
}

} // namespace

void useCommCalls(const CommCalls* calls)
{
    currentCalls = calls ? calls : &systemCalls;
}

SerialLine::SerialLine(qint64 bufferSize)
    : m_device(std::make_unique<Device>(Device{*currentCalls, bufferSize}))
{
}

SerialLine::~SerialLine()
{
    close();
}

bool SerialLine::open(const QString& device, const LineSettings& settings, PortReport& report)
{
    close();
    m_lostText.clear();
    const CommCalls& calls = m_device->calls;
    const HANDLE handle = calls.open(devicePath(device).c_str());
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD code = calls.lastError();
        report.problem = openProblem(code);
        report.systemText = systemText(code);
        return false;
    }
    if (!setLine(calls, handle, settings) || !readWithoutWaiting(calls, handle)) {
        const DWORD code = calls.lastError();
        calls.close(handle);
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
    return !isOpen() || setLine(m_device->calls, m_device->handle, settings);
}

bool SerialLine::isOpen() const
{
    return m_device->handle != INVALID_HANDLE_VALUE;
}

void SerialLine::close()
{
    if (!isOpen())
        return;
    m_device->calls.close(m_device->handle);
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
    if (!m_device->calls.clearError(m_device->handle, &errors, &status)) {
        lose(systemText(m_device->calls.lastError()));
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
    if (!m_device->calls.read(m_device->handle, bytes.data(), static_cast<DWORD>(bytes.size()),
                              &got)) {
        lose(systemText(m_device->calls.lastError()));
        return std::nullopt;
    }
    bytes.truncate(static_cast<qsizetype>(got));
    return bytes;
}
