#pragma once

#include "platform/ByteTransport.h"

#include <vector>

namespace platform {
class Clock;
}

namespace fuzz {

// A line that brings bytes the fuzzer chose at times it chose, counted from each opening on
// the caller's clock, and fails where the fuzzer says: at the open, at the nth byte written,
// at the nth read. It outlives the sessions a port control opens on it.
struct FuzzLine {
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

    std::vector<Arrival> arrivals;
    Faults faults;
    int opens = 0, writes = 0, reads = 0;
    QByteArray written;           // bytes written, in order
    QByteArray read;              // bytes the line brought, in order
    qsizetype readBeforeData = 0; // of them, those before the last "c" was written
};

class FuzzTransport : public platform::ByteTransport {
public:
    FuzzTransport(platform::Clock& clock, FuzzLine& line) : clock_(clock), line_(line) {}

    int Open(const platform::LineSettings& line) override;
    void Close() override {}
    void Write(const QByteArray& bytes) override;
    QByteArray Read(int waitMs) override;
    bool Dsr() const override { return !line_.faults.dsrLow; }
    bool StillThere(QString*) const override { return true; }

private:
    platform::Clock& clock_;
    FuzzLine& line_;
    double openedMs_ = 0;
    size_t next_ = 0;
};

} // namespace fuzz
