#include "Interrupts.h"

#include "core/StopRequest.h"

#include <QSocketNotifier>
#include <QTextStream>
#include <atomic>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace cli {

namespace {

constexpr int Handled[] = {SIGINT, SIGTERM, SIGHUP};

// What the handler shares with the loop: lock-free atomics and a pipe, nothing else.
std::atomic<core::StopRequest*> watched{nullptr};
std::atomic<bool> writing{false};
std::atomic<bool> cancelAsked{false}; // a Ctrl+C asked to cancel; not yet seen refused
std::atomic<int> writingPresses{0};
std::atomic<bool> stopAsked{false};
std::atomic<int> stoppedBy{SIGINT}; // the signal that asked
int wakePipe[2] = {-1, -1};
struct sigaction previous[3];

void OnSignal(int number) {
    core::StopRequest* stop = watched.load();
    if (number == SIGINT && stop && writing.load()) {
        // The first press only warns: stopping now leaves the chip's contents unknown.
        if (writingPresses.fetch_add(1) >= 1) {
            stop->RequestAbort();
            stopAsked.store(true);
        }
    } else if (stop) {
        stoppedBy.store(number);
        if (number == SIGINT) {
            stop->RequestCancel();
            cancelAsked.store(true);
        } else {
            stop->RequestAbort();
        }
        stopAsked.store(true);
    } else {
        // No operation runs: nothing is half done (an image being written is an unnamed file
        // until it is complete), and a blocking call could outlast a flag. End as the
        // signal ends a program.
        std::signal(number, SIG_DFL);
        std::raise(number);
        return;
    }
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(wakePipe[1], &byte, 1);
}

} // namespace

Interrupts::Interrupts(QTextStream& err) : err_(err) {
    watched.store(nullptr);
    writing.store(false);
    cancelAsked.store(false);
    writingPresses.store(0);
    stopAsked.store(false);
    stoppedBy.store(SIGINT);
    if (::pipe2(wakePipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        wakePipe[0] = wakePipe[1] = -1;
    } else {
        // A byte on the pipe wakes a wait at once, so a stop does not wait out a 900 ms step.
        notifier_ = std::make_unique<QSocketNotifier>(wakePipe[0], QSocketNotifier::Read);
        connect(notifier_.get(), &QSocketNotifier::activated, this, &Interrupts::Woken);
    }
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int i = 0; i < 3; ++i) {
        sigaction(Handled[i], &action, &previous[i]);
    }
}

Interrupts::~Interrupts() {
    for (int i = 0; i < 3; ++i) {
        sigaction(Handled[i], &previous[i], nullptr);
    }
    watched.store(nullptr);
    notifier_.reset();
    for (int& fd : wakePipe) {
        if (fd >= 0) {
            ::close(fd);
            fd = -1;
        }
    }
}

void Interrupts::Watch(core::StopRequest* stop) {
    writing.store(false);
    cancelAsked.store(false);
    writingPresses.store(0);
    warned_ = false;
    watched.store(stop);
}

void Interrupts::OnProgress(bool cancellable) {
    writing.store(!cancellable);
    // A Ctrl+C that came just as the chip was committed could not cancel: it was the
    // first press of a write.
    if (!cancellable && cancelAsked.exchange(false)) {
        stopAsked.store(false);
        writingPresses.fetch_add(1);
    }
    if (!cancellable && writingPresses.load() == 1) {
        WarnOnce();
    }
}

bool Interrupts::StopAsked() const {
    return stopAsked.load();
}

int Interrupts::ExitCode() const {
    return 128 + stoppedBy.load();
}

void Interrupts::Woken() {
    char bytes[64];
    while (::read(wakePipe[0], bytes, sizeof bytes) > 0) {
    }
    if (writing.load() && writingPresses.load() == 1) {
        WarnOnce();
    }
}

void Interrupts::WarnOnce() {
    if (warned_) {
        return;
    }
    warned_ = true;
    err_ << "\ntms370: the chip is being written; stopping now leaves its contents unknown. "
            "Press Ctrl+C again to stop anyway.\n";
    err_.flush();
}

} // namespace cli
