#include "PtyAdapterServer.h"

#include <cerrno>
#include <cmath>
#include <unistd.h>

namespace adaptersim {

PtyAdapterServer::PtyAdapterServer(AdapterModel& model, int masterFd, QObject* parent)
    : QObject(parent), model_(model), masterFd_(masterFd),
      notifier_(masterFd, QSocketNotifier::Read) {
    replyTimer_.setSingleShot(true);
    replyTimer_.setTimerType(Qt::PreciseTimer);
    connect(&notifier_, &QSocketNotifier::activated, this, &PtyAdapterServer::ReadLine);
    connect(&replyTimer_, &QTimer::timeout, this, [this] {
        SendDue();
        ScheduleNext();
    });
}

void PtyAdapterServer::ReadLine() {
    unsigned char buffer[256];
    for (;;) {
        const ssize_t n = ::read(masterFd_, buffer, sizeof buffer);
        if (n <= 0) {
            if (n < 0 && errno == EINTR) {
                continue;
            }
            break; // EAGAIN: all read
        }
        const double now = clock_.NowMs();
        for (ssize_t i = 0; i < n; ++i) {
            model_.Receive(buffer[i], now);
        }
    }
    SendDue();
    ScheduleNext();
}

void PtyAdapterServer::SendDue() {
    for (const WireByte& reply : model_.TakeReplies(clock_.NowMs())) {
        // A line nobody reads fills up; the adapter's bytes are then lost, as on a real line.
        ssize_t n;
        do {
            n = ::write(masterFd_, &reply.byte, 1);
        } while (n < 0 && errno == EINTR);
    }
}

void PtyAdapterServer::ScheduleNext() {
    const std::optional<double> next = model_.NextReplyMs();
    if (!next) {
        replyTimer_.stop();
        return;
    }
    const double wait = std::max(0.0, *next - clock_.NowMs());
    replyTimer_.start(int(std::ceil(wait)));
}

} // namespace adaptersim
