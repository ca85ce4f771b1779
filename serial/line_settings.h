#pragma once

// The text form of a line's settings, "baud,parity,data,stop" such as "9600,N,8,1", read
// into values each platform's port device then applies in its own terms.

#include <QStringView>
#include <optional>

enum class Parity
{
    None,
    Even,
    Odd,
    Mark,
    Space,
};

enum class StopBits
{
    One,
    OneAndHalf, // Windows drivers only
    Two,
};

struct LineSettings
{
    qint32 baudRate = 9600;
    Parity parity = Parity::None;
    int dataBits = 8; // 5 to 8
    StopBits stopBits = StopBits::One;
};

// Nothing when the text is not of that form or names values no port here supports.
[[nodiscard]] std::optional<LineSettings> parseLineSettings(QStringView text);

// Whether this platform's port device can run a line with one and a half stop bits; defined
// beside that device, in its platform's file.
[[nodiscard]] bool offersOneAndHalfStopBits();
