#include "TransportPort.h"

#include "CommErrors.h"
#include "RuntimeError.h"

namespace platform {

TransportPort::TransportPort(std::unique_ptr<ByteTransport> transport)
    : transport_(std::move(transport)) {
    // Bytes noticed inside a wait enter the queue under the threshold in force then.
    transport_->onArrival = [this] { Pull(); };
}

TransportPort::~TransportPort() {
    transport_->onArrival = nullptr;
    transport_->Close();
}

void TransportPort::SetPortOpen(bool open) {
    if (!open) {
        if (control_.Open()) {
            control_.EndSession();
            transport_->Close();
        }
        return;
    }
    if (control_.Open()) {
        throw RuntimeError(CommError::PortAlreadyOpen, QStringLiteral("Port Already Open"));
    }
    // The line is given first, so a device opens with it at once.
    transport_->SetLine(line_);
    lineOpens_ = QDeadlineTimer(transport_->Open(), Qt::PreciseTimer);
    failure_.clear();
    failureNumber_ = 0;
    control_.StartSession();
}

void TransportPort::SetSettings(const QString& settings) {
    const LineSettings line = ParseLineSettings(settings);
    if (control_.Open()) {
        transport_->SetLine(line);
    }
    line_ = line;
    settingsText_ = settings;
}

void TransportPort::SetRThreshold(int threshold) {
    Pull(); // what came before the change was seen under the old threshold
    control_.SetRThreshold(threshold);
}

void TransportPort::Output(const QByteArray& bytes) {
    control_.RequireOpen();
    Pull();
    transport_->Write(bytes);
}

QByteArray TransportPort::Input() {
    control_.RequireOpen();
    Pull();
    if (control_.InBufferCount() == 0 && failureNumber_ != 0) {
        const RuntimeError error(failureNumber_, failure_);
        failureNumber_ = 0;
        failure_.clear();
        throw error;
    }
    return control_.Take();
}

int TransportPort::InBufferCount() const {
    Pull();
    return control_.InBufferCount();
}

int TransportPort::CommEvent() const {
    Pull();
    return control_.CommEvent();
}

bool TransportPort::DSRHolding() const {
    control_.RequireOpen();
    return transport_->Dsr();
}

double TransportPort::LineOpensInMs() const {
    return control_.Open() ? double(lineOpens_.remainingTimeNSecs()) / 1e6 : 0;
}

bool TransportPort::StillThere(QString* why) const {
    if (!control_.Open()) {
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

void TransportPort::Pull() const {
    if (!control_.Open() || pulling_ || failureNumber_ != 0) {
        return;
    }
    pulling_ = true;
    try {
        control_.Deliver(transport_->Read(0));
    } catch (const RuntimeError& error) {
        failureNumber_ = error.Number();
        failure_ = error.Description();
    }
    pulling_ = false;
}

} // namespace platform
