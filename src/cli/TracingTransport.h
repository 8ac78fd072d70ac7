#pragma once

#include "platform/ByteTransport.h"

#include <QFile>
#include <memory>

namespace platform {
class Clock;
}

namespace cli {

// A trace file of the bytes on the line, one line each with its time in ms from the start of
// the run, as the adapter tool logs the line.
class Trace {
public:
    explicit Trace(platform::Clock& clock);

    // Opens the trace file, replacing an older one; false with the reason otherwise.
    bool Open(const QString& path, QString* error);
    void Log(const QByteArray& bytes, bool sent);
    // Whether every line reached the file.
    bool Failed() const { return failed_; }
    // Why the first line that failed did not reach the file.
    QString ErrorString() const { return why_; }

private:
    platform::Clock& clock_;
    double startMs_;
    QFile trace_;
    bool failed_ = false;
    QString why_;
};

// A transport that writes every byte sent and received to a trace.
class TracingTransport : public platform::ByteTransport {
public:
    TracingTransport(std::unique_ptr<platform::ByteTransport> inner, Trace& trace);

    int Open(const platform::LineSettings& line) override { return inner_->Open(line); }
    void Close() override { inner_->Close(); }
    void Write(const QByteArray& bytes) override;
    QByteArray Read(int waitMs) override;
    bool Dsr() const override { return inner_->Dsr(); }
    bool StillThere(QString* why) const override { return inner_->StillThere(why); }

private:
    std::unique_ptr<platform::ByteTransport> inner_;
    Trace& trace_;
};

} // namespace cli
