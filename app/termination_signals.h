#pragma once

// Turns SIGTERM and SIGINT into an ordinary event on the user-interface thread, so the
// program ends the way "Konec" ends it: timers stopped, the port closed (and its lock file
// removed), exit status 0. A signal that simply killed the process would leave the lock.

#include <QObject>
#include <functional>

class TerminationSignals final : public QObject
{
    Q_OBJECT
public:
    // Calls onSignal on the event loop once either signal arrives. False when the signals
    // could not be routed; the program then runs on with the default handling.
    [[nodiscard]] bool install(std::function<void()> onSignal);

private:
    std::function<void()> m_onSignal;
};
