#pragma once

// Choosing a line from the menu: (re)opens the port with the line's settings, starts the
// polling cycle and restarts the display and the records.

#include "line_table.h"
#include "monitor_context.h"

void selectLine(const LineChoice& line, MonitorContext& context);
