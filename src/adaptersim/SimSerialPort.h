#pragma once

#include "AdapterModel.h"
#include "SimTransport.h"
#include "platform/TransportPort.h"

namespace platform {
class Clock;
}

namespace adaptersim {

// A serial port with the simulated adapter on its line, in process: the serial port
// control's rules over the simulated transport.
class SimSerialPort : public platform::TransportPort {
public:
    // A port on the caller's model (a test keeps the model to set faults and read the log).
    SimSerialPort(platform::Clock& clock, AdapterModel& model);
    // A port with a healthy model of its own.
    explicit SimSerialPort(platform::Clock& clock);

    AdapterModel& Model() { return model_; }

    // A port number outside 1..8 without a device names no port.
    void SetPortOpen(bool open) override;

private:
    explicit SimSerialPort(SimTransport* transport); // takes it over

    AdapterModel& model_;
};

} // namespace adaptersim
