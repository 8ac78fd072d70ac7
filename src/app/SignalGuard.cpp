#include "SignalGuard.h"

#include <QSocketNotifier>

#ifdef Q_OS_UNIX
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace {

#ifdef Q_OS_UNIX
constexpr int Signals[] = {SIGTERM, SIGINT, SIGHUP};

// The handler only writes a byte; the event loop does the rest.
int wakeFds[2] = {-1, -1};
volatile sig_atomic_t received = 0;

extern "C" void OnSignal(int signal) {
    if (received) {
        // Asked twice: the clean end is not coming, so end now as the signal would.
        std::signal(signal, SIG_DFL);
        std::raise(signal);
        return;
    }
    received = 1;
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(wakeFds[0], &byte, 1);
}
#endif

} // namespace

SignalGuard::SignalGuard(std::function<void()> onSignal) : onSignal_(std::move(onSignal)) {
#ifdef Q_OS_UNIX
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, wakeFds) != 0) {
        return; // without the pair, the signals keep their default effect
    }
    ::fcntl(wakeFds[0], F_SETFL, O_NONBLOCK);
    ::fcntl(wakeFds[1], F_SETFL, O_NONBLOCK);
    received = 0;
    notifier_ = std::make_unique<QSocketNotifier>(wakeFds[1], QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, &SignalGuard::Deliver);
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : Signals) {
        ::sigaction(signal, &action, nullptr);
    }
#endif
}

SignalGuard::~SignalGuard() {
#ifdef Q_OS_UNIX
    if (!notifier_) {
        return;
    }
    for (int signal : Signals) {
        std::signal(signal, SIG_DFL);
    }
    notifier_.reset();
    ::close(wakeFds[0]);
    ::close(wakeFds[1]);
    wakeFds[0] = wakeFds[1] = -1;
#endif
}

void SignalGuard::Deliver() {
#ifdef Q_OS_UNIX
    char byte;
    while (::read(wakeFds[1], &byte, 1) > 0) {
    }
#endif
    if (onSignal_) {
        onSignal_();
    }
}
