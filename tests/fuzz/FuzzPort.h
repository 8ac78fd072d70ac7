#pragma once

#include "platform/SerialControl.h"
#include "platform/SerialPort.h"

#include <vector>

namespace platform {
class Clock;
}

namespace fuzz {

// A serial port whose line brings bytes the fuzzer chose at times it chose, counted from the
// port's opening on the caller's clock. It keeps the port control's rules (the same queue,
// receive event and read length as every real port) and can fail where the fuzzer says: at
// the open, at the nth byte written, at the nth read.
class FuzzPort : public platform::SerialPort {
public:
    struct Arrival {
        double atMs; // after the open
        char byte;
    };
    struct Faults {
        bool openFails = false;
        bool dsrLow = false;
        int failingOutput = -1; // the write (from 0) that fails; -1 for none
        int failingInput = -1;  // the read (from 0) that fails; -1 for none
    };

    FuzzPort(platform::Clock& clock, std::vector<Arrival> arrivals, Faults faults);

    // Bytes written while the port was open, in order.
    const QByteArray& Written() const { return written_; }
    // Bytes the program took from the input queue, in order.
    const QByteArray& Taken() const { return taken_; }
    // Those taken after the last "c" (the adapter is asked for data), in order.
    QByteArray TakenAsData() const { return taken_.mid(takenBeforeData_); }
    int Opens() const { return opens_; }

    void SetCommPort(int port) override { commPort_ = port; }
    int CommPort() const override { return commPort_; }
    void SetDevice(const QString& device) override { device_ = device; }
    QString Device() const override { return device_; }
    bool PortOpen() const override { return control_.Open(); }
    void SetPortOpen(bool open) override;
    void SetSettings(const QString& settings) override { settings_ = settings; }
    QString Settings() const override { return settings_; }
    void SetRThreshold(int threshold) override;
    int RThreshold() const override { return control_.RThreshold(); }
    void SetInputLen(int length) override { control_.SetInputLen(length); }
    void SetInBufferSize(int size) override { control_.SetInBufferSize(size); }
    void SetOutBufferSize(int size) override { control_.SetOutBufferSize(size); }
    void Output(const QByteArray& bytes) override;
    QByteArray Input() override;
    int InBufferCount() const override;
    int CommEvent() const override;
    bool DSRHolding() const override;

private:
    // Puts what has arrived by now into the input queue.
    void Pull() const;

    platform::Clock& clock_;
    std::vector<Arrival> arrivals_;
    Faults faults_;
    mutable size_t next_ = 0;
    double openedMs_ = 0;
    int outputs_ = 0;
    int inputs_ = 0;
    int opens_ = 0;
    int commPort_ = 1;
    QString device_;
    QString settings_;
    QByteArray written_;
    QByteArray taken_;
    qsizetype takenBeforeData_ = 0;
    mutable platform::SerialControl control_;
};

} // namespace fuzz
