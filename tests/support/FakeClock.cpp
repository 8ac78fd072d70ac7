#include "FakeClock.h"

#include <QCoreApplication>

void FakeClock::Schedule(double atMs, std::function<void()> action) {
    scheduled_.emplace(atMs, std::move(action));
}

bool FakeClock::RunDue() {
    bool ran = false;
    while (!scheduled_.empty() && scheduled_.begin()->first <= now_) {
        auto action = std::move(scheduled_.begin()->second);
        scheduled_.erase(scheduled_.begin());
        action();
        ran = true;
    }
    return ran;
}

void FakeClock::ProcessEvents(double deadlineMs) {
    ++processCount_;
    QCoreApplication::processEvents();
    if (RunDue()) {
        return;
    }
    double next = deadlineMs;
    if (!scheduled_.empty() && scheduled_.begin()->first < next) {
        next = scheduled_.begin()->first;
    }
    if (next > now_) {
        now_ = next;
    }
    RunDue();
}

void FakeClock::Advance(double ms) {
    const double target = now_ + ms;
    while (!scheduled_.empty() && scheduled_.begin()->first <= target) {
        now_ = std::max(now_, scheduled_.begin()->first);
        RunDue();
    }
    now_ = target;
}
