#pragma once

// What to do about a port whose device is not there, or is refused to the user, in this
// platform's terms: on Linux a device path and its group, on Windows a COM number that Windows
// hands out to each adapter itself, and a port it gives to one program at a time.

#include "port_report.h"

#include <QString>

[[nodiscard]] QString missingDeviceText(const PortReport& report);
[[nodiscard]] QString refusedDeviceText(const PortReport& report);
