#pragma once

// The poll of the polling cycle: every 50 ms it looks whether a reading has begun to arrive
// and, once two characters wait, gives the thermometer 100 ms to finish it before the read.

#include "monitor_context.h"

#include <chrono>

inline constexpr std::chrono::milliseconds pollInterval{50}; // Timer3
inline constexpr std::chrono::milliseconds readDelay{100};   // Timer4

void runPollHandler(MonitorContext& context);
