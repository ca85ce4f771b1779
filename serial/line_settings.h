#pragma once

// The text form of a line's settings, "baud,parity,data,stop" such as "9600,N,8,1", read
// into what QSerialPort takes.

#include <QSerialPort>
#include <QStringView>
#include <optional>

struct LineSettings
{
    qint32 baudRate = 9600;
    QSerialPort::Parity parity = QSerialPort::NoParity;
    QSerialPort::DataBits dataBits = QSerialPort::Data8;
    QSerialPort::StopBits stopBits = QSerialPort::OneStop;
};

// Nothing when the text is not of that form or names values no port here supports.
[[nodiscard]] std::optional<LineSettings> parseLineSettings(QStringView text);
