#pragma once

// The value of a reading text: its leading decimal number, read the same in every locale.

#include <QStringView>
#include <optional>

// Blanks, tabs and line feeds are skipped wherever they stand until the number ends; the
// number is an optional sign, digits and at most one full stop ("-.5", "+021.0", "."). Reading
// stops at the first character that cannot continue it, and a text without a leading number
// is 0. Returns nothing when the number is too large for a double.
[[nodiscard]] std::optional<double> numericValue(QStringView text);
