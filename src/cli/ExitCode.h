#pragma once

namespace cli {

// What a script can test after a run of tms370.
enum ExitCode {
    Success = 0,
    VerifyMismatch = 1,
    AdapterSilent = 2, // no answer, or a short one
    PortFailed = 3,    // missing, busy or failed
    FileFailed = 4,    // missing, unreadable, unwritable or malformed
    StoreFailed = 6,   // the journal cannot be reached, or the series is used up
    UsageError = 64,
    Interrupted = 130,
};

} // namespace cli
