#pragma once

// Runs Qt's event loop in a test until a condition holds or the time is up.

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>
#include <chrono>

template <typename Condition>
bool waitUntil(Condition condition, std::chrono::milliseconds timeout = std::chrono::seconds(5))
{
    const QDeadlineTimer deadline(timeout, Qt::PreciseTimer);
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
    waitUntil([] { return false; }, time);
}
