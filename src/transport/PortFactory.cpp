#include "PortFactory.h"

#include "NetworkTransport.h"
#include "SerialDeviceTransport.h"
#include "SimTransport.h"
#include "adaptersim/AdapterModel.h"
#include "platform/CommErrors.h"
#include "platform/PortEnumeration.h"
#include "platform/RuntimeError.h"

namespace transport {

using platform::RuntimeError;
namespace CommError = platform::CommError;

PortFactory::PortFactory(platform::Clock& clock, adaptersim::AdapterModel* simulated,
                         const platform::PortEnumeration* ports)
    : clock_(clock), simulated_(simulated), ports_(ports) {}

PortFactory::~PortFactory() = default;

std::unique_ptr<platform::ByteTransport> PortFactory::Make(const QString& device) {
    if (device.compare(SimulatedDevice, Qt::CaseInsensitive) == 0) {
        if (!simulated_) {
            own_ = std::make_unique<adaptersim::AdapterModel>();
            simulated_ = own_.get();
        }
        return std::make_unique<SimTransport>(clock_, *simulated_);
    }
    if (NetworkTransport::IsNetworkName(device)) {
        QString why;
        const std::optional<NetworkTransport::Address> address =
            NetworkTransport::Parse(device, &why);
        if (!address) {
            throw RuntimeError(CommError::PortInvalid, why);
        }
        return std::make_unique<NetworkTransport>(*address, device);
    }
    if (device.startsWith(QLatin1String("usb:"), Qt::CaseInsensitive)) {
        // The adapter with that serial number, wherever it is plugged in now.
        const platform::QtPortEnumeration system;
        QString why;
        const QString path = platform::FindUsbAdapter((ports_ ? ports_ : &system)->Ports(),
                                                      device.mid(4).trimmed(), &why);
        if (path.isEmpty()) {
            throw RuntimeError(CommError::PortInvalid, QStringLiteral("%1: %2").arg(device, why));
        }
        return std::make_unique<SerialDeviceTransport>(path, ports_);
    }
    return std::make_unique<SerialDeviceTransport>(device, ports_);
}

} // namespace transport
