// Runs the polling cycle's handlers over arbitrary bursts, interleaved with resets, line
// choices and a port that closes, and checks after every step what must always hold: the
// fields show only "?", "Error", nothing, or an accepted reading with its unit; the caption
// only the program's name or an accepted reading; the records stay finite.

#include "fakes.h"
#include "line_selection.h"
#include "numeric_value.h"
#include "polling_cycle.h"
#include "reading_handler.h"

#include <cmath>
#include <cstddef>
#include <cstdint>

namespace {

void require(bool condition)
{
    if (!condition)
        __builtin_trap();
}

bool isShownReading(const QString& text)
{
    return text.endsWith(unitText) && isAcceptedReading(text.chopped(unitText.size()));
}

void checkInvariants(const FakeWindow& window, bool afterChoice)
{
    const FakeDisplay& shown = window.display;
    require(shown.Text1 == errorText || isShownReading(shown.Text1) ||
            (afterChoice && shown.Text1 == QStringLiteral("?")) || shown.Text1.isEmpty());
    require(shown.Text2.isEmpty() || isShownReading(shown.Text2));
    require(shown.Text3.isEmpty() || isShownReading(shown.Text3));
    require(shown.caption == QStringLiteral("ZELVAX") ||
            (shown.caption.startsWith(captionPrefix) &&
             isShownReading(shown.caption.mid(captionPrefix.size()))));
    const MonitorState& state = window.state;
    require(std::isfinite(state.Teplota) && std::isfinite(state.MinTeplota) &&
            std::isfinite(state.MaxTeplota));
    require(state.Start == 0 || state.Start == 1);
    require(state.DelkaPrijatehoStringu >= 0);
    // A record field that shows a reading shows the record the state holds.
    if (!shown.Text3.isEmpty())
        require(numericValue(shown.Text3.chopped(unitText.size())) == state.MinTeplota ||
                state.Start == 1);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FakeWindow window;
    bool afterChoice = false;
    std::size_t at = 0;
    const auto next = [&]() -> std::uint8_t { return at < size ? data[at++] : 0; };
    while (at < size) {
        switch (next() % 8) {
        case 4:
            resetRecords(window.state);
            break;
        case 5:
            selectLine(lineTable[next() % lineTable.size()], window.context);
            afterChoice = true;
            break;
        case 6:
            static_cast<void>(window.port.setPortOpen(false));
            break;
        case 7:
            window.port.refuseOpen = !window.port.refuseOpen;
            break;
        default: {
            const std::size_t length = std::min<std::size_t>(next(), size - at);
            window.port.waiting += QString::fromLatin1(reinterpret_cast<const char*>(data + at),
                                                       static_cast<qsizetype>(length));
            at += length;
            runPollHandler(window.context);
            runReadingHandler(window.context);
            afterChoice = false;
            break;
        }
        }
        checkInvariants(window, afterChoice);
    }
    return 0;
}
