#pragma once

// What the main window's handlers work on: the shared state, the port, the fields and the
// two timers of the polling cycle. The window owns them all for the whole run.

#include "armable_timer.h"
#include "monitor_state.h"
#include "serial_port.h"
#include "value_display.h"

struct MonitorContext
{
    MonitorState& state;
    SerialPort& MSComm1;
    ValueDisplay& display;
    ArmableTimer& Timer3; // poll
    ArmableTimer& Timer4; // read
};
