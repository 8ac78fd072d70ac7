#include "SimSerialPort.h"

#include "platform/Clock.h"
#include "platform/CommErrors.h"
#include "platform/LineSettings.h"
#include "platform/RuntimeError.h"

namespace adaptersim {

using platform::RuntimeError;
namespace CommError = platform::CommError;

SimSerialPort::SimSerialPort(platform::Clock& clock, AdapterModel& model)
    : clock_(clock), model_(model) {}

SimSerialPort::SimSerialPort(platform::Clock& clock)
    : clock_(clock), ownModel_(std::make_unique<AdapterModel>()), model_(*ownModel_) {}

void SimSerialPort::SetPortOpen(bool open) {
    if (!open) {
        if (control_.Open()) {
            Pull();
            model_.Close(clock_.NowMs());
            control_.EndSession();
        }
        return;
    }
    if (control_.Open()) {
        throw RuntimeError(CommError::PortAlreadyOpen, QStringLiteral("Port Already Open"));
    }
    if ((device_.isEmpty() && (commPort_ < 1 || commPort_ > 8)) || model_.Faults().portMissing) {
        throw RuntimeError(
            CommError::PortInvalid,
            QStringLiteral("The simulated port Comm%1 does not exist").arg(commPort_));
    }
    if (model_.Faults().portBusy) {
        throw RuntimeError(CommError::PortInUse,
                           QStringLiteral("The simulated port is held by another process"));
    }
    control_.StartSession();
    model_.Open(clock_.NowMs());
}

void SimSerialPort::SetSettings(const QString& settings) {
    platform::ParseLineSettings(settings);
    settings_ = settings;
}

void SimSerialPort::SetRThreshold(int threshold) {
    // Bytes that arrived before the change were seen under the old threshold.
    Pull();
    control_.SetRThreshold(threshold);
}

void SimSerialPort::SetInputLen(int length) {
    control_.SetInputLen(length);
}

void SimSerialPort::SetInBufferSize(int size) {
    control_.SetInBufferSize(size);
}

void SimSerialPort::SetOutBufferSize(int size) {
    control_.SetOutBufferSize(size);
}

void SimSerialPort::Output(const QByteArray& bytes) {
    control_.RequireOpen();
    Pull();
    const double now = clock_.NowMs();
    for (char byte : bytes) {
        model_.Receive(std::uint8_t(byte), now);
    }
}

QByteArray SimSerialPort::Input() {
    control_.RequireOpen();
    Pull();
    return control_.Take();
}

int SimSerialPort::CommEvent() const {
    Pull();
    return control_.CommEvent();
}

bool SimSerialPort::DSRHolding() const {
    control_.RequireOpen();
    return !model_.Faults().dsrLow;
}

int SimSerialPort::InBufferCount() const {
    Pull();
    return control_.InBufferCount();
}

void SimSerialPort::Pull() const {
    if (!control_.Open()) {
        return;
    }
    for (const WireByte& reply : model_.TakeReplies(clock_.NowMs())) {
        const char byte = char(reply.byte);
        control_.Deliver(&byte, 1);
    }
}

} // namespace adaptersim
