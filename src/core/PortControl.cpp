#include "PortControl.h"

#include "platform/CommErrors.h"
#include "platform/RuntimeError.h"

namespace core {

using platform::RuntimeError;
namespace CommError = platform::CommError;

PortControl::PortControl(Opener opener) : opener_(std::move(opener)) {}

PortControl::~PortControl() {
    try {
        SetPortOpen(false);
    } catch (const RuntimeError&) {
        // Going away: whatever could not be written is lost with the port.
    }
}

void PortControl::RequireOpen() const {
    if (!transport_) {
        throw RuntimeError(CommError::PortNotOpen, QStringLiteral("Port Not Open"));
    }
}

void PortControl::RequireClosed() const {
    if (transport_) {
        throw RuntimeError(CommError::PortOpened,
                           QStringLiteral("Operation not valid, because port is opened"));
    }
}

void PortControl::SetPortOpen(bool open) {
    if (!open) {
        if (transport_) {
            const std::unique_ptr<platform::ByteTransport> closing = std::move(transport_);
            closing->onArrival = nullptr;
            closing->Close();
        }
        return;
    }
    if (transport_) {
        throw RuntimeError(CommError::PortAlreadyOpen, QStringLiteral("Port Already Open"));
    }
    if (device_.isEmpty()) {
        throw RuntimeError(CommError::PortInvalid,
                           QStringLiteral("There is no port number %1").arg(commPort_));
    }
    std::unique_ptr<platform::ByteTransport> transport = opener_(device_);
    const int opensInMs = transport->Open(line_);
    lineOpens_ = QDeadlineTimer(opensInMs, Qt::PreciseTimer);
    // A session starts afresh: nothing queued, no event or failure from an earlier one.
    queue_.clear();
    commEvent_ = 0;
    failure_.clear();
    failureNumber_ = 0;
    transport_ = std::move(transport);
    // Bytes noticed inside a wait enter the queue under the threshold in force then.
    transport_->onArrival = [this] { Pull(); };
}

void PortControl::SetSettings(const QString& settings) {
    line_ = platform::ParseLineSettings(settings);
    settingsText_ = settings;
}

void PortControl::SetRThreshold(int threshold) {
    Pull(); // what came before the change was seen under the old threshold
    rThreshold_ = threshold;
}

void PortControl::SetInputLen(int length) {
    if (length < 0) {
        throw RuntimeError(platform::ErrorNumber::IllegalCall,
                           QStringLiteral("InputLen must not be negative"));
    }
    inputLen_ = length;
}

void PortControl::SetInBufferSize(int size) {
    RequireClosed();
    if (size < 1) {
        throw RuntimeError(CommError::Queues,
                           QStringLiteral("Invalid input buffer size %1").arg(size));
    }
    inBufferSize_ = size;
}

void PortControl::SetOutBufferSize(int size) {
    RequireClosed();
    if (size < 1) {
        throw RuntimeError(CommError::Queues,
                           QStringLiteral("Invalid output buffer size %1").arg(size));
    }
    outBufferSize_ = size;
}

void PortControl::Output(const QByteArray& bytes) {
    RequireOpen();
    Pull();
    transport_->Write(bytes);
}

QByteArray PortControl::Input() {
    RequireOpen();
    Pull();
    if (queue_.isEmpty() && failureNumber_ != 0) {
        const RuntimeError error(failureNumber_, failure_);
        failureNumber_ = 0;
        failure_.clear();
        throw error;
    }
    const qsizetype count =
        inputLen_ == 0 ? queue_.size() : std::min<qsizetype>(inputLen_, queue_.size());
    const QByteArray taken = queue_.left(count);
    queue_.remove(0, count);
    return taken;
}

int PortControl::InBufferCount() const {
    Pull();
    return transport_ ? int(queue_.size()) : 0;
}

int PortControl::CommEvent() const {
    Pull();
    return commEvent_;
}

bool PortControl::DSRHolding() const {
    RequireOpen();
    return transport_->Dsr();
}

double PortControl::LineOpensInMs() const {
    return transport_ ? double(lineOpens_.remainingTimeNSecs()) / 1e6 : 0;
}

bool PortControl::StillThere(QString* why) const {
    if (!transport_) {
        *why = QStringLiteral("the port is not open");
        return false;
    }
    Pull();
    if (failureNumber_ != 0) {
        *why = failure_;
        return false;
    }
    return transport_->StillThere(why);
}

void PortControl::Pull() const {
    if (!transport_ || pulling_ || failureNumber_ != 0) {
        return;
    }
    pulling_ = true;
    try {
        Deliver(transport_->Read(0));
    } catch (const RuntimeError& error) {
        failureNumber_ = error.Number();
        failure_ = error.Description();
    }
    pulling_ = false;
}

void PortControl::Deliver(const QByteArray& data) const {
    // A full queue drops what does not fit, as a real port's queue overruns.
    for (const char byte : data) {
        if (queue_.size() < inBufferSize_) {
            queue_.append(byte);
        }
        if (rThreshold_ > 0 && queue_.size() >= rThreshold_) {
            commEvent_ = comEvReceive;
        }
    }
}

} // namespace core
