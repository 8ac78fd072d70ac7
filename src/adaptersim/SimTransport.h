#pragma once

#include "AdapterModel.h"
#include "platform/ByteTransport.h"

#include <memory>

namespace platform {
class Clock;
}

namespace adaptersim {

// The simulated adapter as a byte transport, in process. Bytes written reach the model at the
// clock's time; its replies are read once the clock has passed their arrival, worked out
// whenever the transport is read, so it runs on the real clock and on a virtual one alike
// without scheduling anything.
class SimTransport : public platform::ByteTransport {
public:
    // On the caller's model, or (nullptr) a healthy one of its own.
    SimTransport(platform::Clock& clock, AdapterModel* model);

    AdapterModel& Model() { return model_; }

    int Open() override;
    void Close() override;
    bool IsOpen() const override { return open_; }
    void SetLine(const platform::LineSettings&) override {}
    void Write(const QByteArray& bytes) override;
    QByteArray Read(int waitMs = 0) override;
    bool Dsr() const override { return !model_.Faults().dsrLow; }
    bool StillThere(QString* why) const override;

private:
    platform::Clock& clock_;
    std::unique_ptr<AdapterModel> own_;
    AdapterModel& model_;
    bool open_ = false;
};

} // namespace adaptersim
