#pragma once

namespace platform {
class Clock;
}

// Waits at least ms milliseconds on the clock, handling window events meanwhile, so other
// handlers of the program may run inside the wait. 0 returns at once without handling any.
// When stop is given, the wait also ends as soon as *stop becomes true (the program is
// closing under a running operation).
void Pause(platform::Clock& clock, float ms, const bool* stop = nullptr);
