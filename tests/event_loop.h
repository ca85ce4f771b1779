#pragma once

// Runs Qt's event loop in a test until a condition holds or the time is up.

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>
#include <chrono>

// The timing bounds hold for a native run. Under emulation (an ARM build run by qemu-user)
// the cross script sets ZELVAX_TIME_SCALE, and every bound and time limit stretches alike.
inline double timeScale()
{
    static const double scale = [] {
        bool ok = false;
        const double value = qEnvironmentVariable("ZELVAX_TIME_SCALE").toDouble(&ok);
        return ok && value >= 1 ? value : 1.0;
    }();
    return scale;
}

inline std::chrono::milliseconds scaled(std::chrono::milliseconds bound)
{
    return std::chrono::milliseconds(static_cast<qint64>(bound.count() * timeScale()));
}

template <typename Condition>
bool waitUntil(Condition condition, std::chrono::milliseconds timeout = std::chrono::seconds(5))
{
    const QDeadlineTimer deadline(scaled(timeout), Qt::PreciseTimer);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
    return true;
}

inline void runEventsFor(std::chrono::milliseconds time)
{
    const QDeadlineTimer deadline(time, Qt::PreciseTimer);
    while (!deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
}
