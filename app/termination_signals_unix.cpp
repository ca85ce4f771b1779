#include "termination_signals.h"

#include <QSocketNotifier>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// The write end that the signal handler writes to; a signal handler may do little else.
int signalWriteEnd = -1;

extern "C" void forwardSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(signalWriteEnd, &byte, 1);
}

} // namespace

bool TerminationSignals::install(std::function<void()> onSignal)
{
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, ends) != 0)
        return false;
    signalWriteEnd = ends[1];
    m_onSignal = std::move(onSignal);
    const int readEnd = ends[0];
    auto* notifier = new QSocketNotifier(readEnd, QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, [this, readEnd] {
        char bytes[16];
        while (::read(readEnd, bytes, sizeof bytes) > 0) {
        }
        if (m_onSignal)
            m_onSignal();
    });

    struct sigaction action = {};
    action.sa_handler = forwardSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    return ::sigaction(SIGTERM, &action, nullptr) == 0 &&
           ::sigaction(SIGINT, &action, nullptr) == 0;
}
