// Any text, read the way the port reads it (one character per byte) and as raw UTF-16:
// the parser never reads out of bounds and every value it gives is a finite number.

#include "numeric_value.h"

#include <QString>
#include <cmath>
#include <cstddef>
#include <cstdint>

namespace {

void check(QStringView text)
{
    const std::optional<double> value = numericValue(text);
    if (value && !std::isfinite(*value))
        __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const auto* bytes = reinterpret_cast<const char*>(data);
    check(QString::fromLatin1(bytes, static_cast<qsizetype>(size)));
    check(QStringView(reinterpret_cast<const char16_t*>(data), static_cast<qsizetype>(size / 2)));
    return 0;
}
