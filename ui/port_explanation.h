#pragma once

// The Czech texts that tell the user, on hover and through a screen reader, which device a
// line uses and why it shows "Error". Built only from what the port reported.

#include "port_mapping.h"
#include "port_report.h"

#include <QString>
#include <QStringView>
#include <optional>

// For an entry of the "Linka" menu: the device its port would open now.
[[nodiscard]] QString lineEntryExplanation(int port, const std::optional<PortDevice>& device);
// For the frame after a choice: the device that was opened or tried.
[[nodiscard]] QString chosenDeviceExplanation(const PortReport& report);
// For an "Error" that comes from the port: which device failed, why, and what to do.
[[nodiscard]] QString portFailureExplanation(const PortReport& report);
// For an "Error" that comes from a rejected reading: what was received, or that nothing was.
[[nodiscard]] QString rejectedReadingExplanation(QStringView received);
