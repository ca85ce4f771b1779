#include "monitor_state.h"

namespace {
constexpr double minimumSentinel = 1000;
constexpr double maximumSentinel = -1000;
} // namespace

void setRecordSentinels(MonitorState& state)
{
    state.MinTeplota = minimumSentinel;
    state.MaxTeplota = maximumSentinel;
}

void resetRecords(MonitorState& state)
{
    state.MinTeplota = state.Teplota;
    state.MaxTeplota = state.Teplota;
    state.Start = 1;
}
