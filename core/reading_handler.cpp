#include "reading_handler.h"

#include "numeric_value.h"

#include <algorithm>
#include <limits>
#include <optional>

namespace {

// Every byte that arrived is one character, so the text is no longer than the port's
// buffer; the clamp only keeps the length in the 32-bit field it is stored in.
std::int32_t lengthOf(const QString& text)
{
    constexpr qsizetype limit = std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(std::min(text.size(), limit));
}

void showAcceptedReading(MonitorContext& context, double value)
{
    MonitorState& state = context.state;
    ValueDisplay& display = context.display;
    const QString shown = state.ZmerenaTeplotaString + unitText;

    display.setText1(shown);
    display.setCaption(captionPrefix + display.text1());
    if (state.Start == 1 || value <= state.MinTeplota) {
        state.MinTeplota = value;
        display.setText3(shown);
        state.Start = 0;
    }
    if (value >= state.MaxTeplota) {
        state.MaxTeplota = value;
        display.setText2(shown);
    }
    state.Teplota = value;
}

void showError(ValueDisplay& display)
{
    // The records and the caption keep the last accepted reading.
    display.setText1(errorText);
    display.setText2(QString());
    display.setText3(QString());
}

} // namespace

bool isAcceptedReading(QStringView text)
{
    if (text.size() < 2)
        return false;
    const char16_t second = text[1].unicode();
    return (second >= u'0' && second <= u'9') || second == u'.' || second == u'-';
}

void runReadingHandler(MonitorContext& context)
{
    context.Timer4.stop();
    MonitorState& state = context.state;

    // A failed read means nothing arrived: the run works on an empty text and shows the
    // error, rather than presenting what is left of an older reading as a new one.
    state.ZmerenaTeplotaString = context.MSComm1.input().value_or(QString());
    state.DelkaPrijatehoStringu = lengthOf(state.ZmerenaTeplotaString);

    // Cut off the two end characters, whatever they are. Fewer than two characters cannot
    // be cut; the uncut text is then too short to pass the test below.
    const std::int32_t keep = state.DelkaPrijatehoStringu - 2;
    if (keep >= 0)
        state.ZmerenaTeplotaString.truncate(keep);

    // A number too large for a double is no reading: it is shown as an error rather than
    // leaving a field with a record the state does not hold.
    const std::optional<double> value = isAcceptedReading(state.ZmerenaTeplotaString)
                                            ? numericValue(state.ZmerenaTeplotaString)
                                            : std::nullopt;
    if (value)
        showAcceptedReading(context, *value);
    else
        showError(context.display);

    context.Timer3.arm();
}
