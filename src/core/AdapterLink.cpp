#include "AdapterLink.h"

#include "Pause.h"
#include "PortControl.h"
#include "StopRequest.h"
#include "platform/Clock.h"

#include <algorithm>

namespace core {

AdapterLink::AdapterLink(PortControl& port, platform::Clock& clock, const StopRequest& stop)
    : port_(port), clock_(clock), stop_(stop) {}

bool AdapterLink::StopHonoured() const {
    const int level = stop_.Requested();
    return level == StopRequest::Abort || (cancellable_ && level == StopRequest::Cancel);
}

void AdapterLink::Wait(float ms) {
    const auto stop = [this] { return StopHonoured(); };
    if (Pause(clock_, ms, stop) || StopHonoured()) {
        throw OperationStopped{stop_.Requested()};
    }
}

void AdapterLink::OpenLink(char family, char command, const std::function<void()>& beforeLetter) {
    port_.SetPortOpen(true);
    // A terminal server that holds bytes until its serial port is open would hand the family
    // letter on together with the command letter: the first gap would be lost.
    if (const double opens = port_.LineOpensInMs(); opens > 0) {
        Wait(float(opens));
    }
    port_.Output(QByteArray(1, family));
    Wait(CommandGapMs);
    if (beforeLetter) {
        beforeLetter();
    }
    port_.Output(QByteArray(1, command));
    Wait(CommandGapMs);
}

double AdapterLink::StartDataPhase(float settleMs) {
    // The adapter speaks only once asked for data: what came before is not the block's.
    if (port_.InBufferCount() > 0) {
        port_.SetInputLen(0);
        port_.Input();
    }
    port_.SetInputLen(1);
    port_.SetRThreshold(1);
    port_.Output(QByteArrayLiteral("c"));
    const double sent = clock_.NowMs();
    Wait(settleMs);
    return sent;
}

void AdapterLink::SendDataByte(unsigned char byte) {
    port_.Output(QByteArray(1, static_cast<char>(byte)));
    Wait(SendGapMs);
}

int AdapterLink::ReceiveBlock(int n, const ByteHandler& onByte) {
    int taken = 0;
    for (int step = 1; step <= n; ++step) {
        port_.SetRThreshold(1);
        bool goOn = true;
        if (port_.CommEvent() == PortControl::comEvReceive) {
            Wait(ReceiveStepMs);
            const QByteArray input = port_.Input();
            // The receive event stays set after the first byte, so a step may find the
            // queue empty; it takes nothing then rather than inventing a byte.
            if (!input.isEmpty()) {
                ++taken;
                goOn = onByte(taken, static_cast<unsigned char>(input.at(0)));
            }
        }
        port_.SetRThreshold(0);
        if (!goOn) {
            break;
        }
    }
    return taken;
}

int AdapterLink::ReceiveArriving(int n, double cSentMs, const ByteHandler& onByte) {
    int taken = 0;
    double deadline = cSentMs + FastFirstByteMs;
    const auto stopped = [this] { return StopHonoured(); };
    // The one-byte reads are the legacy pace's rule: here each look takes all that is queued.
    port_.SetInputLen(0);
    while (taken < n) {
        // One read a look; an empty queue raises a failure the port has noticed (an adapter
        // unplugged mid-read is a port error, not merely a short answer).
        const QByteArray input = port_.Input();
        for (qsizetype i = 0; i < input.size() && taken < n; ++i) {
            ++taken;
            if (!onByte(taken, static_cast<unsigned char>(input.at(i)))) {
                return taken;
            }
        }
        const double now = clock_.NowMs();
        if (!input.isEmpty()) {
            deadline = now + FastNextByteMs;
        }
        if (taken >= n || now >= deadline) {
            break;
        }
        Pause(clock_, float(std::min(deadline - now, FastPollMs)), stopped, true);
        if (StopHonoured()) {
            throw OperationStopped{stop_.Requested()};
        }
    }
    return taken;
}

void AdapterLink::AbandonLink() {
    port_.Output(QByteArrayLiteral("e"));
    port_.SetPortOpen(false);
}

void AdapterLink::CloseLink() {
    port_.SetPortOpen(false);
}

bool AdapterLink::PortStillThere(QString* why) const {
    return port_.StillThere(why);
}

} // namespace core
