#pragma once

// The program's icon, a snowflake star, at 16, 32 and 64 pixels, so it stays sharp at twice
// the usual scale.

#include <QIcon>

[[nodiscard]] QIcon programIcon();
