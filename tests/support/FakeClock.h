#pragma once

#include "platform/Clock.h"

#include <functional>
#include <map>

// Virtual time: nothing waits for real. ProcessEvents runs what is due and, when nothing is,
// jumps to the next scheduled event or to the deadline, whichever is first. Qt's own pending
// events are handled as well, so widgets behave as under the real clock.
class FakeClock : public platform::Clock {
public:
    double NowMs() const override { return now_; }
    void ProcessEvents(double deadlineMs) override;

    // Runs action once the virtual time reaches atMs (in order of time, then of scheduling).
    void Schedule(double atMs, std::function<void()> action);
    // Moves the time on by ms, running what falls due on the way.
    void Advance(double ms);

    // How many times ProcessEvents ran (a wait that handled events).
    int ProcessCount() const { return processCount_; }

private:
    bool RunDue();

    double now_ = 0;
    int processCount_ = 0;
    std::multimap<double, std::function<void()>> scheduled_;
};
