#include "QtClock.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <cmath>

namespace platform {

QtClock::QtClock() {
    timer_.start();
}

double QtClock::NowMs() const {
    return timer_.nsecsElapsed() / 1.0e6;
}

void QtClock::ProcessEventsQuietly(double deadlineMs) {
    // What is pending is handled, device data included; then a plain sleep that no device
    // notifier cuts short. It is kept short, so window events wait no longer than a frame.
    constexpr double LongestSleepMs = 10;
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    const double remaining = std::min(deadlineMs - NowMs(), LongestSleepMs);
    if (remaining > 0) {
        QThread::usleep(static_cast<unsigned long>(std::ceil(remaining * 1000.0)));
    }
}

void QtClock::ProcessEvents(double deadlineMs) {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    const double remaining = deadlineMs - NowMs();
    if (remaining <= 0) {
        return;
    }
    if (remaining < 1.0) {
        // Timers count whole milliseconds; the last fraction is slept precisely, so the
        // 2 ms pacing of a programming does not grow to 3 ms a byte.
        QThread::usleep(static_cast<unsigned long>(std::ceil(remaining * 1000.0)));
        return;
    }
    // A precise single-shot timer wakes the sleeping event loop just before the deadline;
    // any other event (serial data, input, a repaint) wakes it earlier.
    QTimer wake;
    wake.setTimerType(Qt::PreciseTimer);
    wake.setSingleShot(true);
    wake.start(static_cast<int>(std::floor(remaining)));
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

} // namespace platform
