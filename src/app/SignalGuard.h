#pragma once

#include <QObject>
#include <functional>
#include <memory>

class QSocketNotifier;

// Turns SIGTERM, SIGINT and SIGHUP into a call on the event loop, so the program ends the
// way closing its main window does: the running operation is stopped at its next wait, files
// and port are closed, nothing half-written is left behind. A second signal while that is
// under way ends the program at once.
class SignalGuard : public QObject {
public:
    explicit SignalGuard(std::function<void()> onSignal);
    ~SignalGuard() override;

private:
    void Deliver();

    std::function<void()> onSignal_;
    std::unique_ptr<QSocketNotifier> notifier_;
};
