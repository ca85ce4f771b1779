#pragma once

// The receive-only serial port the main window owns: a port number, a settings text, an
// open state and a receive buffer that fills in the background while the port is open.

#include "line_settings.h"
#include "port_report.h"
#include "serial_line.h"
#include "serial_port.h"

#include <QObject>

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

    // True from the count or read that found the device gone until the port is closed.
    [[nodiscard]] bool deviceLost() const { return m_lost; }
    [[nodiscard]] bool receiving() const { return m_open && !m_lost; }
    // The device of the last open, and why the port is not receiving when it is not.
    [[nodiscard]] const PortReport& report() const { return m_report; }
    // What the last successful read returned.
    [[nodiscard]] const QString& lastInput() const { return m_lastInput; }

private:
    bool open();
    void close();
    void noteLostDevice();

    SerialLine m_line{receiveBufferSize};
    int m_commPort = 1;
    LineSettings m_settings;
    bool m_open = false;
    bool m_lost = false;
    PortReport m_report;
    QString m_lastInput;
};
