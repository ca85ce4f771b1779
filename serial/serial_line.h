#pragma once

// The device behind an open port, as this platform reaches it: opened for reading with line
// settings, then asked, without ever blocking, how much waits and for what waits. On Linux
// this is QSerialPort; on Windows it is Win32's communications API, polled.

#include "line_settings.h"
#include "port_report.h"

#include <QByteArray>
#include <QString>
#include <memory>
#include <optional>

class SerialLine
{
public:
    // At most bufferSize bytes wait or are read at a time; the rest stays with the system's
    // driver until the next read, so nothing is lost and memory stays flat under a flood.
    explicit SerialLine(qint64 bufferSize);
    ~SerialLine();
    SerialLine(const SerialLine&) = delete;
    SerialLine& operator=(const SerialLine&) = delete;

    // Opens device for reading only. On failure, says why in the report's problem and
    // system text (and lock, or group, where the platform has them).
    [[nodiscard]] bool open(const QString& device, const LineSettings& settings,
                            PortReport& report);
    [[nodiscard]] bool applySettings(const LineSettings& settings);
    [[nodiscard]] bool isOpen() const;
    void close();

    // What waits, and the waiting bytes themselves. Nothing when the device has gone (an
    // unplugged adapter): the line is then closed, and lostText() has the system's words.
    [[nodiscard]] std::optional<qint64> bytesWaiting();
    [[nodiscard]] std::optional<QByteArray> read();
    [[nodiscard]] const QString& lostText() const { return m_lostText; }

private:
    struct Device;
    void lose(const QString& systemText);

    std::unique_ptr<Device> m_device;
    QString m_lostText;
};
