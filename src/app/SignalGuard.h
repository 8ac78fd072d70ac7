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
    // onSignal gets the signal's number.
    explicit SignalGuard(std::function<void(int)> onSignal);
    ~SignalGuard() override;

    // The signal's name as the shell gives it ("SIGTERM").
    static QString Name(int signal);

    // The process ends with status within ms milliseconds, whatever happens meanwhile: the
    // backstop of an end that something holds up. Only the first call counts.
    static void EndWithin(int ms, int status);
    // The end has come: the backstop is not needed any more.
    static void CancelBackstop();

private:
    void Deliver();

    std::function<void(int)> onSignal_;
    std::unique_ptr<QSocketNotifier> notifier_;
};
