#include "numeric_value.h"

#include <charconv>
#include <string>
#include <system_error>

namespace {

bool isSkipped(char16_t c)
{
    return c == u' ' || c == u'\t' || c == u'\n';
}

bool isDigit(char16_t c)
{
    return c >= u'0' && c <= u'9';
}

// The characters of the leading number with the skipped ones left out, ready for
// std::from_chars, which ignores the locale.
struct CompactNumber
{
    bool negative = false;
    std::string digits; // digits with at most one '.', no sign
    bool hasDigit = false;
    bool hasIntegerDigit = false; // a non-zero digit before the full stop
};

CompactNumber compactLeadingNumber(QStringView text)
{
    CompactNumber number;
    bool signSeen = false;
    bool pointSeen = false;
    for (const QChar qc : text) {
        const char16_t c = qc.unicode();
        if (isSkipped(c))
            continue;
        if (!signSeen && !pointSeen && !number.hasDigit && (c == u'+' || c == u'-')) {
            signSeen = true;
            number.negative = c == u'-';
        } else if (isDigit(c)) {
            number.hasDigit = true;
            number.hasIntegerDigit = number.hasIntegerDigit || (!pointSeen && c != u'0');
            number.digits.push_back(static_cast<char>(c));
        } else if (c == u'.' && !pointSeen) {
            pointSeen = true;
            number.digits.push_back('.');
        } else {
            break;
        }
    }
    return number;
}

} // namespace

std::optional<double> numericValue(QStringView text)
{
    const CompactNumber number = compactLeadingNumber(text);
    if (!number.hasDigit)
        return 0.0;

    double magnitude = 0;
    const char* first = number.digits.data();
    const char* last = first + number.digits.size();
    const auto [end, error] = std::from_chars(first, last, magnitude, std::chars_format::fixed);
    if (error == std::errc::result_out_of_range) {
        // Only a number of at least 1 can overflow; a tiny fraction underflows to zero.
        if (number.hasIntegerDigit)
            return std::nullopt;
        magnitude = 0;
    } else if (error != std::errc{} || end != last) {
        // Cannot happen for digits with at most one full stop; refuse rather than guess.
        return std::nullopt;
    }
    return number.negative ? -magnitude : magnitude;
}
