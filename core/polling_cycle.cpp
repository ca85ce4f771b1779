#include "polling_cycle.h"

#include <cstdint>
#include <limits>
#include <optional>

namespace {

// The count as the 16-bit number the cycle compares; a count that does not fit is a failure.
std::optional<std::int16_t> waitingCount(SerialPort& port)
{
    const std::optional<qint64> count = port.inBufferCount();
    if (!count || *count > std::numeric_limits<std::int16_t>::max() ||
        *count < std::numeric_limits<std::int16_t>::min())
        return std::nullopt;
    return static_cast<std::int16_t>(*count);
}

} // namespace

void runPollHandler(MonitorContext& context)
{
    context.Timer3.stop();

    // A count that fails (a closed or lost port) goes on to the read as well, whose own
    // failure handling shows the error; polling on would leave the last reading standing.
    const std::optional<std::int16_t> waiting = waitingCount(context.MSComm1);
    if (!waiting || *waiting >= 2)
        context.Timer4.arm();
    else
        context.Timer3.arm();
}
