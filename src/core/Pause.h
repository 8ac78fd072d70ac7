#pragma once

#include <functional>

namespace platform {
class Clock;
}

namespace core {

// Waits at least ms milliseconds on the clock, handling window events meanwhile, so other
// handlers of the program may run inside the wait. 0 returns at once without handling any.
// When stopWhen is given, the wait also ends as soon as it says so (checked before each round
// of events); the result tells whether it did. A quiet wait is not woken by device data.
bool Pause(platform::Clock& clock, float ms, const std::function<bool()>& stopWhen = {},
           bool quiet = false);

} // namespace core
