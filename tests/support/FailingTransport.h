#pragma once

#include "adaptersim/AdapterModel.h"
#include "core/PortControl.h"
#include "platform/RuntimeError.h"
#include "transport/SimTransport.h"

#include <functional>
#include <memory>

// Where the line fails, counted over every session of a port, as on an unplugged adapter.
struct PortFaults {
    int failOnWrite = -1; // the write (counted from 1) that fails
    int failOnRead = -1;  // the read of the transport (counted from 1) that fails
    int errorNumber = 8019;
    int writes = 0;
    int reads = 0;
    std::function<void(int writes)> afterWrite; // runs once each write is on the wire
    bool vanished = false; // the device went away without a failing read or write
    int opensInMs = 0;     // how long after the open the line is there (a terminal server)
};

// Passes all to another transport until a chosen write or read fails.
class FailingTransport : public platform::ByteTransport {
public:
    FailingTransport(std::unique_ptr<platform::ByteTransport> inner, PortFaults& faults)
        : inner_(std::move(inner)), faults_(faults) {}

    int Open(const platform::LineSettings& line) override {
        return inner_->Open(line) + faults_.opensInMs;
    }
    void Close() override { inner_->Close(); }
    void Write(const QByteArray& bytes) override {
        if (++faults_.writes == faults_.failOnWrite) {
            throw platform::RuntimeError(faults_.errorNumber, QStringLiteral("write failed"));
        }
        inner_->Write(bytes);
        if (faults_.afterWrite) {
            faults_.afterWrite(faults_.writes);
        }
    }
    QByteArray Read(int waitMs) override {
        if (++faults_.reads == faults_.failOnRead) {
            throw platform::RuntimeError(faults_.errorNumber, QStringLiteral("read failed"));
        }
        return inner_->Read(waitMs);
    }
    bool Dsr() const override { return inner_->Dsr(); }
    bool StillThere(QString* why) const override {
        if (faults_.vanished) {
            *why = QStringLiteral("the adapter or its cable went away");
            return false;
        }
        return inner_->StillThere(why);
    }

private:
    std::unique_ptr<platform::ByteTransport> inner_;
    PortFaults& faults_;
};

// Whatever device a port names, the simulated adapter on the model, failing where told.
inline core::PortControl::Opener
SimulatedLine(platform::Clock& clock, adaptersim::AdapterModel& model, PortFaults& faults) {
    return [&clock, &model, &faults](const QString&) {
        return std::make_unique<FailingTransport>(
            std::make_unique<transport::SimTransport>(clock, model), faults);
    };
}
