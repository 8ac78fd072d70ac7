#pragma once

#include "AdapterModel.h"
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
    // Bytes in the input queue, and bytes lost because it was full.
    int InBufferCount() const;
    int DroppedBytes() const { return dropped_; }

    void SetCommPort(int port) override { commPort_ = port; }
    int CommPort() const override { return commPort_; }
    bool PortOpen() const override { return open_; }
    void SetPortOpen(bool open) override;
    void SetSettings(const QString& settings) override;
    QString Settings() const override { return settings_; }
    void SetRThreshold(int threshold) override;
    int RThreshold() const override { return rThreshold_; }
    void SetInputLen(int length) override;
    void SetInBufferSize(int size) override;
    void SetOutBufferSize(int size) override;
    void Output(const QByteArray& bytes) override;
    QByteArray Input() override;
    int CommEvent() const override;
    bool DSRHolding() const override;
    QString DeviceName(int port) const override;

private:
    void RequireOpen() const;
    void RequireClosed() const;
    // Moves the replies that have arrived by now into the input queue.
    void Pull() const;

    platform::Clock& clock_;
    std::unique_ptr<AdapterModel> ownModel_;
    AdapterModel& model_;

    int commPort_ = 1;
    bool open_ = false;
    QString settings_ = QStringLiteral("9600,N,8,1");
    int rThreshold_ = 0;
    int inputLen_ = 0;
    int inBufferSize_ = 1024;
    int outBufferSize_ = 512;

    mutable QByteArray inQueue_;
    mutable int commEvent_ = 0;
    mutable int dropped_ = 0;
};

} // namespace adaptersim
