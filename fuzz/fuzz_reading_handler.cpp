// Runs the polling cycle's handlers over arbitrary bursts, interleaved with resets, line
// choices and a port that closes, and checks after every step what must always hold: the
// fields show only "?", "Error", nothing, or an accepted reading with its unit; the caption
// only the program's name or an accepted reading; the records stay finite.

#include "fakes.h"
#include "line_selection.h"
#include "numeric_value.h"
#include "polling_cycle.h"
#include "reading_handler.h"
#include "received_text.h"

#include <algorithm>
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

// What the window shows of a rejected reading is short and printable whatever arrived, and
// plain text under the limit comes through unchanged.
void checkExcerpt(const QString& received)
{
    const QString excerpt = printableExcerpt(received);
    require(excerpt.size() <= receivedExcerptLength + 1);
    for (qsizetype i = 0; i < excerpt.size(); ++i) {
        const char16_t code = excerpt[i].unicode();
        require((code >= 0x20 && code < 0x7F) || (code == 0x2026 && i == excerpt.size() - 1));
    }
    const bool plain = std::all_of(received.begin(), received.end(), [](QChar c) {
        return c.unicode() >= 0x20 && c.unicode() < 0x7F && c != u'\\';
    });
    if (plain && received.size() <= receivedExcerptLength)
        require(excerpt == received);
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
            const QString burst = QString::fromLatin1(reinterpret_cast<const char*>(data + at),
                                                      static_cast<qsizetype>(length));
            checkExcerpt(burst);
            window.port.waiting += burst;
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
