#pragma once

#include "platform/ByteTransport.h"

#include <QString>
#include <functional>
#include <memory>

namespace adaptersim {
class AdapterModel;
}
namespace platform {
class Clock;
class PortEnumeration;
} // namespace platform

namespace transport {

// The value of a port item that attaches the built-in simulated adapter.
inline const QString SimulatedDevice = QStringLiteral("sim");

// Opens ports by name, whatever carries them: a serial device of this system (a path, a bare
// name, usb:SERIAL for the USB adapter with that serial number), a terminal server
// (net:HOST:PORT, rfc2217://HOST:PORT) or "sim", the simulated adapter.
class PortFactory {
public:
    using Opener = std::function<std::unique_ptr<platform::ByteTransport>(const QString& device)>;

    // simulated: the adapter "sim" attaches; nullptr for one of the factory's own, kept from
    // one session to the next. ports: where usb:SERIAL names are looked up and a missing
    // device's message finds the ports present; nullptr for the system's own.
    explicit PortFactory(platform::Clock& clock, adaptersim::AdapterModel* simulated = nullptr,
                         const platform::PortEnumeration* ports = nullptr);
    ~PortFactory();

    // A closed transport for the name; 8002 for a name that gives none.
    std::unique_ptr<platform::ByteTransport> Make(const QString& device);
    // Make, as a port control's opener (the factory outlives it).
    Opener AsOpener() {
        return [this](const QString& device) { return Make(device); };
    }

private:
    platform::Clock& clock_;
    adaptersim::AdapterModel* simulated_;
    std::unique_ptr<adaptersim::AdapterModel> own_;
    const platform::PortEnumeration* ports_;
};

} // namespace transport
