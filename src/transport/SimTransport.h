#pragma once

#include "adaptersim/AdapterModel.h"
#include "platform/ByteTransport.h"

namespace platform {
class Clock;
}

namespace transport {

// The simulated adapter as a byte transport, in process. Bytes written reach the model at the
// clock's time; its replies are read once the clock has passed their arrival, worked out
// whenever the transport is read, so it runs on the real clock and on a virtual one alike
// without scheduling anything.
class SimTransport : public platform::ByteTransport {
public:
    // On the caller's model, which keeps its chip from one session to the next.
    SimTransport(platform::Clock& clock, adaptersim::AdapterModel& model)
        : clock_(clock), model_(model) {}
    ~SimTransport() override { Close(); }

    int Open(const platform::LineSettings& line) override;
    void Close() override;
    void Write(const QByteArray& bytes) override;
    QByteArray Read(int waitMs = 0) override;
    bool Dsr() const override { return !model_.Faults().dsrLow; }
    bool StillThere(QString* why) const override;

private:
    platform::Clock& clock_;
    adaptersim::AdapterModel& model_;
    bool open_ = false;
};

} // namespace transport
