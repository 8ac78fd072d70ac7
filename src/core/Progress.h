#pragma once

#include "DeviceCatalogue.h"

#include <QString>

namespace core {

// Where a running operation stands.
enum class Phase {
    Opening,           // port opened, family and command letters on their way
    WaitingForAdapter, // "c" sent; the adapter's first byte is awaited
    Receiving,         // the block or the verify marks come in
    Sending,           // PROGRAM's data bytes go out
    Settling, // the chip stores the data (PROGRAM) or the adapter works (CLEAR WPO, BULK ERASE)
    Closing,  // the port is being closed
};

struct Progress {
    Operation operation = Operation::Read;
    Phase phase = Phase::Opening;
    int done = 0;  // bytes received or sent; while Settling, ms of the wait gone by
    int total = 0; // the block size; while Settling, the wait's length in ms
    double elapsedMs = 0;
    double leftMs = 0; // until the port closes
    // A cancel request is honoured now (READ, VERIFY); while false the chip is being changed.
    bool cancellable = false;
};

// "Reading 137 of 256 bytes — 9 s left", "Programming: waiting for the chip to store the
// data — 11 s left", ...
QString DescribeProgress(const Progress& progress);

// Whole seconds left, rounded up: "9 s left", "less than 1 s left" below half a second.
QString TimeLeftText(double leftMs);

} // namespace core
