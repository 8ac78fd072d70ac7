#pragma once

namespace platform {

// The millisecond clock and the window event pump. Every wait of the program goes through
// here, so a test can swap in a virtual clock on which a 23 s wait takes microseconds.
class Clock {
public:
    virtual ~Clock() = default;

    // Milliseconds since an arbitrary start; never goes backwards.
    virtual double NowMs() const = 0;

    // Handles the pending window events; when there were none, waits for the next event but
    // not past deadlineMs (on this clock). May return early; callers loop on NowMs().
    virtual void ProcessEvents(double deadlineMs) = 0;

    // The same, but data arriving on a device does not end the wait early (it is read when
    // the device is looked at), so a wait for a stream of bytes wakes once, not per byte.
    virtual void ProcessEventsQuietly(double deadlineMs) { ProcessEvents(deadlineMs); }
};

} // namespace platform
