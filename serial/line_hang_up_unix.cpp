#include "line_hang_up.h"

#include <cerrno>
#include <poll.h>

bool lineHungUp(int descriptor)
{
    // A hung-up tty reports POLLHUP (and POLLERR) at once and for good; a live one never does.
    pollfd state{descriptor, POLLIN, 0};
    int ready = 0;
    do
        ready = ::poll(&state, 1, 0);
    while (ready < 0 && errno == EINTR);
    return ready > 0 && (state.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}
