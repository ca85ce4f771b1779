#pragma once

// The look the value fields share: centred bold text in a colour of its own on black.

#include <QColor>
#include <QFont>
#include <QWidget>

// Bold 8.25-point "MS Sans Serif", or the system's sans-serif face where that is missing.
[[nodiscard]] QFont valueFieldFont();

void applyValueFieldStyle(QWidget& field, const QColor& textColor);
