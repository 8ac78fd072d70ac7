#pragma once

#include "AdapterModel.h"
#include "platform/SerialControl.h"
#include "platform/SerialPort.h"

#include <memory>

namespace platform {
class Clock;
}

namespace adaptersim {

// A serial port with the simulated adapter on its line, in process. Bytes written reach
// the model at the clock's time; its replies enter the input queue once the clock has
// passed their arrival, worked out whenever the port is looked at, so the port runs on
// the real clock and on a virtual one alike without scheduling anything.
class SimSerialPort : public platform::SerialPort {
public:
    // A port on the caller's model (a test keeps the model to set faults and read the log).
    SimSerialPort(platform::Clock& clock, AdapterModel& model);
    // A port with a healthy model of its own.
    explicit SimSerialPort(platform::Clock& clock);

    AdapterModel& Model() { return model_; }
    // Bytes lost because the input queue was full.
    int DroppedBytes() const { return control_.Dropped(); }

    void SetCommPort(int port) override { commPort_ = port; }
    int CommPort() const override { return commPort_; }
    void SetDevice(const QString& device) override { device_ = device; }
    QString Device() const override { return device_; }
    bool PortOpen() const override { return control_.Open(); }
    void SetPortOpen(bool open) override;
    void SetSettings(const QString& settings) override;
    QString Settings() const override { return settings_; }
    void SetRThreshold(int threshold) override;
    int RThreshold() const override { return control_.RThreshold(); }
    void SetInputLen(int length) override;
    void SetInBufferSize(int size) override;
    void SetOutBufferSize(int size) override;
    void Output(const QByteArray& bytes) override;
    QByteArray Input() override;
    int InBufferCount() const override;
    int CommEvent() const override;
    bool DSRHolding() const override;

private:
    // Moves the replies that have arrived by now into the input queue.
    void Pull() const;

    platform::Clock& clock_;
    std::unique_ptr<AdapterModel> ownModel_;
    AdapterModel& model_;

    int commPort_ = 1;
    QString device_;
    QString settings_ = QStringLiteral("9600,N,8,1");
    mutable platform::SerialControl control_;
};

} // namespace adaptersim
