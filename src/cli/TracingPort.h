#pragma once

#include "platform/SerialPort.h"

#include <QFile>

namespace platform {
class Clock;
}

namespace cli {

// A serial port that writes every byte sent and received to a trace file, one line each
// with its time in ms from the start of the run, as the adapter tool logs the line.
class TracingPort : public platform::SerialPort {
public:
    TracingPort(platform::SerialPort& port, platform::Clock& clock);

    // Opens the trace file, replacing an older one; false with the reason otherwise.
    bool Open(const QString& path, QString* error);
    // Whether every line reached the file.
    bool Failed() const { return failed_; }
    // Why the first line that failed did not reach the file.
    QString ErrorString() const { return why_; }

    void SetCommPort(int port) override { port_.SetCommPort(port); }
    int CommPort() const override { return port_.CommPort(); }
    void SetDevice(const QString& device) override { port_.SetDevice(device); }
    QString Device() const override { return port_.Device(); }
    bool PortOpen() const override { return port_.PortOpen(); }
    void SetPortOpen(bool open) override { port_.SetPortOpen(open); }
    void SetSettings(const QString& settings) override { port_.SetSettings(settings); }
    QString Settings() const override { return port_.Settings(); }
    void SetRThreshold(int threshold) override { port_.SetRThreshold(threshold); }
    int RThreshold() const override { return port_.RThreshold(); }
    void SetInputLen(int length) override { port_.SetInputLen(length); }
    void SetInBufferSize(int size) override { port_.SetInBufferSize(size); }
    void SetOutBufferSize(int size) override { port_.SetOutBufferSize(size); }
    void Output(const QByteArray& bytes) override;
    QByteArray Input() override;
    int InBufferCount() const override { return port_.InBufferCount(); }
    int CommEvent() const override { return port_.CommEvent(); }
    bool DSRHolding() const override { return port_.DSRHolding(); }

private:
    void Log(const QByteArray& bytes, bool sent);

    platform::SerialPort& port_;
    platform::Clock& clock_;
    double startMs_;
    QFile trace_;
    bool failed_ = false;
    QString why_;
};

} // namespace cli
