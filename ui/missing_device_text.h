#pragma once

// What to do about a port whose device is not there, in this platform's terms: on Linux a
// device path, on Windows a COM number that Windows hands out to each adapter itself.

#include "port_report.h"

#include <QString>

[[nodiscard]] QString missingDeviceText(const PortReport& report);
