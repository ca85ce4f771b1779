#include "qt_armable_timer.h"

QtArmableTimer::QtArmableTimer(QTimer& timer, std::chrono::milliseconds interval) : m_timer(timer)
{
    m_timer.setTimerType(Qt::PreciseTimer);
    m_timer.setSingleShot(false);
    m_timer.setInterval(interval);
}

void QtArmableTimer::arm()
{
    if (!m_timer.isActive())
        m_timer.start();
}

void QtArmableTimer::stop()
{
    m_timer.stop();
}

bool QtArmableTimer::isArmed() const
{
    return m_timer.isActive();
}
