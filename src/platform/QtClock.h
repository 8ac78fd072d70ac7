#pragma once

#include "Clock.h"

#include <QElapsedTimer>

namespace platform {

// Real time: a monotonic timer and the Qt event loop, sleeping between events so a long
// wait costs no processor time.
class QtClock : public Clock {
public:
    QtClock();
    double NowMs() const override;
    void ProcessEvents(double deadlineMs) override;
    void ProcessEventsQuietly(double deadlineMs) override;

private:
    QElapsedTimer timer_;
};

} // namespace platform
