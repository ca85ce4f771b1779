#include "termination_signals.h"

// Windows has no termination signals to route: it asks a program to end through its window
// (WM_CLOSE, and WM_QUERYENDSESSION when the user logs off), which Qt turns into the window's
// own close event, so the program already ends the way "Konec" ends it.
bool TerminationSignals::install(std::function<void()>)
{
    return false;
}
