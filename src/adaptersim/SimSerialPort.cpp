#include "SimSerialPort.h"

#include "platform/Clock.h"
#include "platform/CommErrors.h"
#include "platform/LineSettings.h"
#include "platform/PortDevices.h"
#include "platform/RuntimeError.h"

namespace adaptersim {

using platform::RuntimeError;
namespace CommError = platform::CommError;

SimSerialPort::SimSerialPort(platform::Clock& clock, AdapterModel& model)
    : clock_(clock), model_(model) {}

SimSerialPort::SimSerialPort(platform::Clock& clock)
    : clock_(clock), ownModel_(std::make_unique<AdapterModel>()), model_(*ownModel_) {}

void SimSerialPort::RequireOpen() const {
    if (!open_) {
        throw RuntimeError(CommError::PortNotOpen, QStringLiteral("Port Not Open"));
    }
}

void SimSerialPort::RequireClosed() const {
    if (open_) {
        throw RuntimeError(CommError::PortOpened,
                           QStringLiteral("Operation not valid, because port is opened"));
    }
}

void SimSerialPort::SetPortOpen(bool open) {
    if (!open) {
        if (open_) {
            Pull();
            model_.Close(clock_.NowMs());
            open_ = false;
        }
        return;
    }
    if (open_) {
        throw RuntimeError(CommError::PortAlreadyOpen, QStringLiteral("Port Already Open"));
    }
    if (commPort_ < 1 || commPort_ > 8 || model_.Faults().portMissing) {
        throw RuntimeError(
            CommError::PortInvalid,
            QStringLiteral("The simulated port Comm%1 does not exist").arg(commPort_));
    }
    if (model_.Faults().portBusy) {
        throw RuntimeError(CommError::PortInUse,
                           QStringLiteral("The simulated port is held by another process"));
    }
    // A session starts afresh: nothing queued and no event from an earlier one.
    inQueue_.clear();
    commEvent_ = 0;
    open_ = true;
    model_.Open(clock_.NowMs());
}

void SimSerialPort::SetSettings(const QString& settings) {
    platform::ParseLineSettings(settings);
    settings_ = settings;
}

void SimSerialPort::SetRThreshold(int threshold) {
    // Bytes that arrived before the change were seen under the old threshold.
    Pull();
    rThreshold_ = threshold;
}

void SimSerialPort::SetInputLen(int length) {
    if (length < 0) {
        throw RuntimeError(platform::ErrorNumber::IllegalCall,
                           QStringLiteral("InputLen must not be negative"));
    }
    inputLen_ = length;
}

void SimSerialPort::SetInBufferSize(int size) {
    RequireClosed();
    if (size < 1) {
        throw RuntimeError(CommError::Queues,
                           QStringLiteral("Invalid input buffer size %1").arg(size));
    }
    inBufferSize_ = size;
}

void SimSerialPort::SetOutBufferSize(int size) {
    RequireClosed();
    if (size < 1) {
        throw RuntimeError(CommError::Queues,
                           QStringLiteral("Invalid output buffer size %1").arg(size));
    }
    outBufferSize_ = size;
}

void SimSerialPort::Output(const QByteArray& bytes) {
    RequireOpen();
    Pull();
    const double now = clock_.NowMs();
    for (char byte : bytes) {
        model_.Receive(std::uint8_t(byte), now);
    }
}

QByteArray SimSerialPort::Input() {
    RequireOpen();
    Pull();
    const int count =
        inputLen_ == 0 ? int(inQueue_.size()) : std::min(inputLen_, int(inQueue_.size()));
    const QByteArray taken = inQueue_.left(count);
    inQueue_.remove(0, count);
    return taken;
}

int SimSerialPort::CommEvent() const {
    Pull();
    return commEvent_;
}

bool SimSerialPort::DSRHolding() const {
    RequireOpen();
    return !model_.Faults().dsrLow;
}

int SimSerialPort::InBufferCount() const {
    Pull();
    return int(inQueue_.size());
}

QString SimSerialPort::DeviceName(int) const {
    return platform::SimulatedDevice;
}

void SimSerialPort::Pull() const {
    if (!open_) {
        return;
    }
    for (const WireByte& reply : model_.TakeReplies(clock_.NowMs())) {
        if (inQueue_.size() < inBufferSize_) {
            inQueue_.append(char(reply.byte));
        } else {
            ++dropped_;
        }
        if (rThreshold_ > 0 && inQueue_.size() >= rThreshold_) {
            commEvent_ = comEvReceive;
        }
    }
}

} // namespace adaptersim
