#include "SimSerialPort.h"

#include "platform/CommErrors.h"
#include "platform/RuntimeError.h"

namespace adaptersim {

SimSerialPort::SimSerialPort(platform::Clock& clock, AdapterModel& model)
    : SimSerialPort(new SimTransport(clock, &model)) {}

SimSerialPort::SimSerialPort(platform::Clock& clock)
    : SimSerialPort(new SimTransport(clock, nullptr)) {}

SimSerialPort::SimSerialPort(SimTransport* transport)
    : TransportPort(std::unique_ptr<platform::ByteTransport>(transport)),
      model_(transport->Model()) {}

void SimSerialPort::SetPortOpen(bool open) {
    if (open && !PortOpen() && Device().isEmpty() && (CommPort() < 1 || CommPort() > 8)) {
        throw platform::RuntimeError(
            platform::CommError::PortInvalid,
            QStringLiteral("The simulated port Comm%1 does not exist").arg(CommPort()));
    }
    TransportPort::SetPortOpen(open);
}

} // namespace adaptersim
