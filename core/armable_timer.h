#pragma once

// A periodic timer used as a one-shot: arming enables it, stopping disables it, and the
// handler it drives begins by stopping it.

class ArmableTimer
{
public:
    virtual ~ArmableTimer() = default;

    // Arming a timer that is already armed keeps its running interval.
    virtual void arm() = 0;
    virtual void stop() = 0;
    [[nodiscard]] virtual bool isArmed() const = 0;
};
