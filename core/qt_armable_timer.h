#pragma once

// An ArmableTimer backed by a QTimer that belongs to the window owning it.

#include "armable_timer.h"

#include <QTimer>
#include <chrono>

class QtArmableTimer final : public ArmableTimer
{
public:
    // Precise, because a coarse timer may fire up to 5 % early, which would cut short the
    // time the thermometer is given to finish its line.
    QtArmableTimer(QTimer& timer, std::chrono::milliseconds interval);

    void arm() override;
    void stop() override;
    [[nodiscard]] bool isArmed() const override;

private:
    QTimer& m_timer;
};
