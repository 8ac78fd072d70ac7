#include "FuzzPort.h"

#include "platform/Clock.h"
#include "platform/CommErrors.h"
#include "platform/RuntimeError.h"

namespace fuzz {

using platform::RuntimeError;
namespace CommError = platform::CommError;

FuzzPort::FuzzPort(platform::Clock& clock, std::vector<Arrival> arrivals, Faults faults)
    : clock_(clock), arrivals_(std::move(arrivals)), faults_(faults) {}

void FuzzPort::SetPortOpen(bool open) {
    if (!open) {
        control_.EndSession();
        return;
    }
    if (control_.Open()) {
        throw RuntimeError(CommError::PortAlreadyOpen, QStringLiteral("Port Already Open"));
    }
    if (faults_.openFails) {
        throw RuntimeError(CommError::PortInUse, QStringLiteral("held by another process"));
    }
    ++opens_;
    control_.StartSession();
    openedMs_ = clock_.NowMs();
    next_ = 0;
}

void FuzzPort::SetRThreshold(int threshold) {
    Pull();
    control_.SetRThreshold(threshold);
}

void FuzzPort::Output(const QByteArray& bytes) {
    control_.RequireOpen();
    if (outputs_++ == faults_.failingOutput) {
        throw RuntimeError(CommError::DeviceBusy, QStringLiteral("the device took no byte"));
    }
    written_ += bytes;
    if (bytes == "c") {
        takenBeforeData_ = taken_.size();
    }
}

QByteArray FuzzPort::Input() {
    control_.RequireOpen();
    if (inputs_++ == faults_.failingInput) {
        throw RuntimeError(CommError::ReadFailed, QStringLiteral("the adapter went away"));
    }
    Pull();
    const QByteArray bytes = control_.Take();
    taken_ += bytes;
    return bytes;
}

int FuzzPort::InBufferCount() const {
    Pull();
    return control_.InBufferCount();
}

int FuzzPort::CommEvent() const {
    Pull();
    return control_.CommEvent();
}

bool FuzzPort::DSRHolding() const {
    control_.RequireOpen();
    return !faults_.dsrLow;
}

void FuzzPort::Pull() const {
    if (!control_.Open()) {
        return;
    }
    const double now = clock_.NowMs() - openedMs_;
    while (next_ < arrivals_.size() && arrivals_[next_].atMs <= now) {
        control_.Deliver(&arrivals_[next_].byte, 1);
        ++next_;
    }
}

} // namespace fuzz
