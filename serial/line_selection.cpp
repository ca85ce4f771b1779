#include "line_selection.h"

void selectLine(const LineChoice& line, MonitorContext& context)
{
    MonitorState& state = context.state;
    SerialPort& port = context.MSComm1;

    context.display.setFrameCaption(line.frameCaption.toString());
    state.StringNastaveniComu = line.settings.toString();
    state.PouzityCom = line.port.toString();

    // No step reports a failure and none stops the ones after it. A port that does not
    // open leaves the cycle running on a closed port, whose every read shows "Error";
    // choosing a line again retries.
    static_cast<void>(port.setPortOpen(false)); // fails only when already closed
    static_cast<void>(port.setCommPort(state.PouzityCom.toInt()));
    static_cast<void>(port.setSettings(state.StringNastaveniComu));
    static_cast<void>(port.setPortOpen(true));

    // An armed read timer stays armed: its reading comes as planned.
    context.Timer3.arm();
    context.display.setText1(QStringLiteral("?"));
    context.display.setText2(QString());
    context.display.setText3(QString());
    setRecordSentinels(state);
}
