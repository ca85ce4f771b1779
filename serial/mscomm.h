#pragma once

// The receive-only serial port the main window owns: a port number, a settings text, an
// open state and a receive buffer that fills in the background while the port is open.

#include "line_settings.h"
#include "serial_port.h"

#include <QObject>
#include <QSerialPort>

// Port n is the device named by the environment variable ZELVAX_COMn when set, else the
// system's n-th serial port (/dev/ttyS0 for 1 on Linux, COM1 on Windows).
[[nodiscard]] QString deviceForPort(int port);

class MSComm final : public QObject, public SerialPort
{
    Q_OBJECT
public:
    static constexpr qint64 receiveBufferSize = 1024;

    explicit MSComm(QObject* parent = nullptr);
    ~MSComm() override;

    [[nodiscard]] bool setCommPort(int port) override;
    [[nodiscard]] bool setSettings(const QString& settings) override;
    [[nodiscard]] bool setPortOpen(bool open) override;
    [[nodiscard]] bool portOpen() const override { return m_open; }

    [[nodiscard]] std::optional<qint64> inBufferCount() override;
    [[nodiscard]] std::optional<QString> input() override;

    // True from the moment the open device went away until the port is closed.
    [[nodiscard]] bool deviceLost() const { return m_lost; }

private:
    bool open();
    bool applySettings();
    void close();
    void onError(QSerialPort::SerialPortError error);
    [[nodiscard]] bool receiving() const { return m_open && !m_lost; }

    QSerialPort m_serial;
    int m_commPort = 1;
    LineSettings m_settings;
    bool m_open = false;
    bool m_lost = false;
};
