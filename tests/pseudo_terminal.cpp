#include "pseudo_terminal.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

PseudoTerminal::PseudoTerminal()
{
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0)
        return;
    const char* name = (grantpt(master) == 0 && unlockpt(master) == 0) ? ptsname(master) : nullptr;
    if (!name) {
        ::close(master);
        return;
    }
    // Raw at once, so nothing written before the program sets the line up is altered.
    const int slave = ::open(name, O_RDWR | O_NOCTTY);
    if (slave >= 0) {
        termios raw{};
        tcgetattr(slave, &raw);
        cfmakeraw(&raw);
        tcsetattr(slave, TCSANOW, &raw);
        ::close(slave);
    }
    // Non-blocking, so a writer can give up when told to while the reader lags behind.
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    m_master = master;
    m_path = QString::fromLocal8Bit(name);
}

PseudoTerminal::~PseudoTerminal()
{
    hangUp();
}

bool PseudoTerminal::write(const QByteArray& bytes, const std::atomic<bool>* stop)
{
    qsizetype done = 0;
    while (m_master >= 0 && done < bytes.size()) {
        if (stop && *stop)
            return false;
        pollfd writable{m_master, POLLOUT, 0};
        if (::poll(&writable, 1, 20) <= 0)
            continue;
        const ssize_t written =
            ::write(m_master, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
        if (written < 0 && errno != EINTR && errno != EAGAIN)
            return false;
        if (written > 0)
            done += written;
    }
    return done == bytes.size();
}

void PseudoTerminal::hangUp()
{
    if (m_master >= 0)
        ::close(m_master);
    m_master = -1;
}
