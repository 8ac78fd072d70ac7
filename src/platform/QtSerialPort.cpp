#include "QtSerialPort.h"

#include "CommErrors.h"
#include "NetworkTransport.h"
#include "RuntimeError.h"
#include "SerialDeviceTransport.h"
#include "TransportPort.h"

namespace platform {

QtSerialPort::QtSerialPort(SimulatedPortFactory simulated)
    : simulatedFactory_(std::move(simulated)) {}

QtSerialPort::~QtSerialPort() {
    if (open_) {
        try {
            current_->SetPortOpen(false);
        } catch (const RuntimeError&) {
            // Going away: whatever could not be written is lost with the port.
        }
    }
}

SerialPort& QtSerialPort::MakeSession() {
    if (device_.isEmpty()) {
        throw RuntimeError(CommError::PortInvalid,
                           QStringLiteral("There is no port number %1").arg(commPort_));
    }
    if (device_.compare(SimulatedDevice, Qt::CaseInsensitive) == 0) {
        if (!simulated_ && simulatedFactory_) {
            simulated_ = simulatedFactory_();
        }
        if (!simulated_) {
            throw RuntimeError(CommError::PortInvalid,
                               QStringLiteral("Comm%1 is set to the simulated adapter, which "
                                              "this build does not have")
                                   .arg(commPort_));
        }
        return *simulated_;
    }
    std::unique_ptr<ByteTransport> transport;
    if (NetworkTransport::IsNetworkName(device_)) {
        QString why;
        const std::optional<NetworkTransport::Address> address =
            NetworkTransport::Parse(device_, &why);
        if (!address) {
            throw RuntimeError(CommError::PortInvalid, why);
        }
        transport = std::make_unique<NetworkTransport>(*address, device_);
    } else if (device_.startsWith(QLatin1String("usb:"), Qt::CaseInsensitive)) {
        // The adapter with that serial number, wherever it is plugged in now.
        const QtPortEnumeration system;
        QString why;
        const QString path = FindUsbAdapter((enumeration_ ? enumeration_ : &system)->Ports(),
                                            device_.mid(4).trimmed(), &why);
        if (path.isEmpty()) {
            throw RuntimeError(CommError::PortInvalid, QStringLiteral("%1: %2").arg(device_, why));
        }
        transport = std::make_unique<SerialDeviceTransport>(path, enumeration_);
    } else {
        transport = std::make_unique<SerialDeviceTransport>(device_, enumeration_);
    }
    current_ = nullptr;
    session_ = std::make_unique<TransportPort>(std::move(transport));
    return *session_;
}

void QtSerialPort::SetPortOpen(bool open) {
    if (!open) {
        if (open_) {
            open_ = false;
            current_->SetPortOpen(false);
        }
        return;
    }
    if (open_) {
        throw RuntimeError(CommError::PortAlreadyOpen, QStringLiteral("Port Already Open"));
    }
    SerialPort& session = MakeSession();
    session.SetCommPort(commPort_);
    session.SetDevice(device_);
    session.SetSettings(settingsText_);
    session.SetInBufferSize(control_.InBufferSize());
    session.SetOutBufferSize(control_.OutBufferSize());
    session.SetInputLen(control_.InputLen());
    session.SetRThreshold(control_.RThreshold());
    session.SetPortOpen(true);
    current_ = &session;
    open_ = true;
}

void QtSerialPort::SetSettings(const QString& settings) {
    ParseLineSettings(settings); // a malformed text is refused whether open or not
    if (open_) {
        current_->SetSettings(settings);
    }
    settingsText_ = settings;
}

void QtSerialPort::SetRThreshold(int threshold) {
    if (open_) {
        current_->SetRThreshold(threshold);
    }
    control_.SetRThreshold(threshold);
}

void QtSerialPort::SetInputLen(int length) {
    control_.SetInputLen(length);
    if (open_) {
        current_->SetInputLen(length);
    }
}

void QtSerialPort::SetInBufferSize(int size) {
    if (open_) {
        current_->SetInBufferSize(size); // refuses: the port is open
    }
    control_.SetInBufferSize(size);
}

void QtSerialPort::SetOutBufferSize(int size) {
    if (open_) {
        current_->SetOutBufferSize(size);
    }
    control_.SetOutBufferSize(size);
}

void QtSerialPort::Output(const QByteArray& bytes) {
    if (!open_) {
        control_.RequireOpen();
    }
    current_->Output(bytes);
}

QByteArray QtSerialPort::Input() {
    if (!open_) {
        control_.RequireOpen();
    }
    return current_->Input();
}

int QtSerialPort::InBufferCount() const {
    return open_ ? current_->InBufferCount() : 0;
}

int QtSerialPort::CommEvent() const {
    // A closed port keeps the event of its last session.
    return current_ ? current_->CommEvent() : 0;
}

bool QtSerialPort::DSRHolding() const {
    if (!open_) {
        control_.RequireOpen();
    }
    return current_->DSRHolding();
}

bool QtSerialPort::StillThere(QString* why) const {
    if (!open_) {
        *why = QStringLiteral("the port is not open");
        return false;
    }
    return current_->StillThere(why);
}

} // namespace platform
