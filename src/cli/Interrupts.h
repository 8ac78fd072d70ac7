#pragma once

#include <QObject>
#include <memory>

class QSocketNotifier;
class QTextStream;

namespace core {
class StopRequest;
}

namespace cli {

// Ctrl+C (SIGINT), SIGTERM and SIGHUP while the tool runs. The handler only raises the stop
// request of the running operation and wakes the event loop, as much as a signal handler may
// do; what to print is decided in the loop. Ctrl+C cancels what can be cancelled; while the
// chip is being written the first one warns and the second aborts. SIGTERM and SIGHUP abort.
// Between operations every one of them ends the program at once, as by default.
// One object at a time; it restores the earlier handlers when it goes.
class Interrupts : public QObject {
    Q_OBJECT
public:
    explicit Interrupts(QTextStream& err);
    ~Interrupts() override;

    // The operation a signal stops from now on; nullptr when none runs.
    void Watch(core::StopRequest* stop);
    // What the running operation reported: false while stopping it would leave the chip
    // half-written.
    void OnProgress(bool cancellable);
    // A signal asked the tool to stop (a Ctrl+C that only warned does not count).
    bool StopAsked() const;
    // How a run a signal stopped ends, as the signal would end it: 128 + its number (130
    // for Ctrl+C, 143 for SIGTERM, 129 for SIGHUP).
    int ExitCode() const;

private:
    void Woken();
    void WarnOnce();

    QTextStream& err_;
    std::unique_ptr<QSocketNotifier> notifier_;
    bool warned_ = false;
};

} // namespace cli
