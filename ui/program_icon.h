#pragma once

// The program's icon, a snowflake star, from 16 to 64 pixels, so it stays sharp at twice
// the usual scale.

#include <QIcon>

[[nodiscard]] QIcon programIcon();
