#pragma once

// What arrived on the line, made fit to show a user: control characters, characters outside
// printable ASCII and the backslash written as escapes, the whole cut to a short excerpt.

#include <QString>
#include <QStringView>

inline constexpr qsizetype receivedExcerptLength = 40;

// At most receivedExcerptLength characters of printable ASCII, then "…" when cut.
[[nodiscard]] QString printableExcerpt(QStringView received);
