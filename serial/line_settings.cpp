#include "line_settings.h"

#include <QList>
#include <algorithm>
#include <array>

namespace {

// The rates a serial line is usually run at; anything else is refused before the open.
constexpr std::array<qint32, 12> supportedBaudRates{110,  300,   600,   1200,  2400,   4800,
                                                    9600, 19200, 38400, 57600, 115200, 230400};

std::optional<qint32> parseBaudRate(QStringView field)
{
    // Digits only: toInt() would also let blanks and a sign through.
    const bool digitsOnly =
        !field.isEmpty() &&
        std::all_of(field.begin(), field.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
    bool ok = false;
    const qint32 rate = digitsOnly ? field.toInt(&ok) : 0;
    if (!ok || std::find(supportedBaudRates.begin(), supportedBaudRates.end(), rate) ==
                   supportedBaudRates.end())
        return std::nullopt;
    return rate;
}

std::optional<Parity> parseParity(QStringView field)
{
    if (field.size() != 1)
        return std::nullopt;
    switch (field[0].toUpper().unicode()) {
    case u'N':
        return Parity::None;
    case u'E':
        return Parity::Even;
    case u'O':
        return Parity::Odd;
    case u'M':
        return Parity::Mark;
    case u'S':
        return Parity::Space;
    default:
        return std::nullopt;
    }
}

std::optional<int> parseDataBits(QStringView field)
{
    if (field == u"5")
        return 5;
    if (field == u"6")
        return 6;
    if (field == u"7")
        return 7;
    if (field == u"8")
        return 8;
    return std::nullopt;
}

std::optional<StopBits> parseStopBits(QStringView field)
{
    if (field == u"1")
        return StopBits::One;
    if (field == u"2")
        return StopBits::Two;
    if (field == u"1.5" && offersOneAndHalfStopBits())
        return StopBits::OneAndHalf;
    return std::nullopt;
}

} // namespace

std::optional<LineSettings> parseLineSettings(QStringView text)
{
    const QList<QStringView> fields = text.split(u',');
    if (fields.size() != 4)
        return std::nullopt;
    const auto baud = parseBaudRate(fields[0]);
    const auto parity = parseParity(fields[1]);
    const auto data = parseDataBits(fields[2]);
    const auto stop = parseStopBits(fields[3]);
    if (!baud || !parity || !data || !stop)
        return std::nullopt;
    return LineSettings{*baud, *parity, *data, *stop};
}
