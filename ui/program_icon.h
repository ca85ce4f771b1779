#pragma once

// The program's icon, a snowflake star, in the two sizes window systems ask for.

#include <QIcon>

[[nodiscard]] QIcon programIcon();
