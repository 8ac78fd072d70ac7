#include "SerialControl.h"

#include "CommErrors.h"
#include "RuntimeError.h"

namespace platform {

void SerialControl::StartSession() {
    queue_.clear();
    commEvent_ = 0;
    open_ = true;
}

void SerialControl::RequireOpen() const {
    if (!open_) {
        throw RuntimeError(CommError::PortNotOpen, QStringLiteral("Port Not Open"));
    }
}

void SerialControl::RequireClosed() const {
    if (open_) {
        throw RuntimeError(CommError::PortOpened,
                           QStringLiteral("Operation not valid, because port is opened"));
    }
}

void SerialControl::SetInputLen(int length) {
    if (length < 0) {
        throw RuntimeError(ErrorNumber::IllegalCall,
                           QStringLiteral("InputLen must not be negative"));
    }
    inputLen_ = length;
}

void SerialControl::SetInBufferSize(int size) {
    RequireClosed();
    if (size < 1) {
        throw RuntimeError(CommError::Queues,
                           QStringLiteral("Invalid input buffer size %1").arg(size));
    }
    inBufferSize_ = size;
}

void SerialControl::SetOutBufferSize(int size) {
    RequireClosed();
    if (size < 1) {
        throw RuntimeError(CommError::Queues,
                           QStringLiteral("Invalid output buffer size %1").arg(size));
    }
    outBufferSize_ = size;
}

void SerialControl::Deliver(const char* data, qsizetype size) {
    for (qsizetype i = 0; i < size; ++i) {
        if (queue_.size() < inBufferSize_) {
            queue_.append(data[i]);
        } else {
            ++dropped_;
        }
        if (rThreshold_ > 0 && queue_.size() >= rThreshold_) {
            commEvent_ = comEvReceive;
        }
    }
}

QByteArray SerialControl::Take() {
    const qsizetype count =
        inputLen_ == 0 ? queue_.size() : std::min<qsizetype>(inputLen_, queue_.size());
    const QByteArray taken = queue_.left(count);
    queue_.remove(0, count);
    return taken;
}

} // namespace platform
