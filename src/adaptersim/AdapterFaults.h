#pragma once

#include <vector>

namespace adaptersim {

// The ways the simulated adapter can misbehave. The defaults make a healthy adapter.
struct AdapterFaults {
    bool silent = false;      // never answers (commands still take effect on the chip)
    double msPerByte = 0;     // pace of the adapter's replies; 0 is line speed
    int stopAfter = -1;       // a data phase ends after this many bytes (either way); <0 never
    int mismatchAt = -1;      // VERIFY marks byte k (0-based) as differing; <0 none
    int wornAt = -1;          // PROGRAM leaves byte k (0-based) of the block 00h; <0 none
    int stuckAt = -1;         // BULK ERASE leaves byte k (0-based, from 1E00h) as it was; <0 none
    bool dsrLow = false;      // does not hold DSR (unpowered, cable off)
    bool portMissing = false; // the port does not exist: opening raises 8002
    bool portBusy = false;    // another process holds the port: opening raises 8005
    // The PROGRAMs (counted from 1) that store the block's first byte inverted, so that
    // their read-back fails.
    std::vector<int> spoiledPrograms;
};

} // namespace adaptersim
