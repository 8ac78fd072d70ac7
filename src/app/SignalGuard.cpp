#include "SignalGuard.h"

#include <QSocketNotifier>
#include <QString>

#ifdef Q_OS_UNIX
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>
#endif

namespace {

#ifdef Q_OS_UNIX
constexpr int Signals[] = {SIGTERM, SIGINT, SIGHUP};

// The handler only writes a byte; the event loop does the rest.
int wakeFds[2] = {-1, -1};
volatile sig_atomic_t received = 0;
volatile sig_atomic_t backstopStatus = 0;

extern "C" void OnBackstop(int) {
    static const char note[] = "tms370prog: the end took too long; ending now.\n";
    [[maybe_unused]] const ssize_t n = ::write(STDERR_FILENO, note, sizeof note - 1);
    ::_exit(backstopStatus);
}

extern "C" void OnSignal(int signal) {
    if (received) {
        // Asked twice: the clean end is not coming, so end now as the signal would.
        std::signal(signal, SIG_DFL);
        std::raise(signal);
        return;
    }
    received = 1;
    const char byte = static_cast<char>(signal);
    [[maybe_unused]] const ssize_t n = ::write(wakeFds[0], &byte, 1);
}
#endif

} // namespace

SignalGuard::SignalGuard(std::function<void(int)> onSignal) : onSignal_(std::move(onSignal)) {
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
    int signal = 0;
#ifdef Q_OS_UNIX
    char byte;
    while (::read(wakeFds[1], &byte, 1) > 0) {
        signal = static_cast<unsigned char>(byte);
    }
#endif
    if (onSignal_) {
        onSignal_(signal);
    }
}

QString SignalGuard::Name(int signal) {
#ifdef Q_OS_UNIX
    switch (signal) {
    case SIGTERM:
        return QStringLiteral("SIGTERM");
    case SIGINT:
        return QStringLiteral("SIGINT");
    case SIGHUP:
        return QStringLiteral("SIGHUP");
    default:
        break;
    }
#endif
    return QStringLiteral("signal %1").arg(signal);
}

void SignalGuard::EndWithin(int ms, int status) {
#ifdef Q_OS_UNIX
    static bool armed = false;
    if (armed) {
        return;
    }
    armed = true;
    backstopStatus = status;
    struct sigaction action {};
    action.sa_handler = OnBackstop;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGALRM, &action, nullptr);
    itimerval timer{};
    timer.it_value.tv_sec = ms / 1000;
    timer.it_value.tv_usec = (ms % 1000) * 1000;
    ::setitimer(ITIMER_REAL, &timer, nullptr);
#else
    Q_UNUSED(ms);
    Q_UNUSED(status);
#endif
}

void SignalGuard::CancelBackstop() {
#ifdef Q_OS_UNIX
    const itimerval off{};
    ::setitimer(ITIMER_REAL, &off, nullptr);
#endif
}
