#pragma once

// The serial port operations the handlers use. Every operation can fail, and says so; the
// handlers decide, step by step, what a failure does.

#include <QString>
#include <optional>

class SerialPort
{
public:
    virtual ~SerialPort() = default;

    // Port 1 is COM1, port 2 is COM2. Fails while the port is open.
    [[nodiscard]] virtual bool setCommPort(int port) = 0;
    // "baud,parity,data,stop", such as "9600,N,8,1". Fails for a malformed or unsupported text.
    [[nodiscard]] virtual bool setSettings(const QString& settings) = 0;
    // Opens the numbered port with the last settings, or closes it. Fails when the device
    // does not exist or refuses the open, or when the port already is in that state.
    [[nodiscard]] virtual bool setPortOpen(bool open) = 0;
    [[nodiscard]] virtual bool portOpen() const = 0;

    // Characters waiting in the receive buffer; fails when the port is not open.
    [[nodiscard]] virtual std::optional<qint64> inBufferCount() = 0;
    // Every waiting character, oldest first, one character per byte; the buffer is empty
    // afterwards. Fails when the port is not open.
    [[nodiscard]] virtual std::optional<QString> input() = 0;
};
