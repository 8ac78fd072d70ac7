#pragma once

#include <QString>
#include <cstdint>

namespace adaptersim {

enum class Direction {
    ToAdapter,   // written by the program
    FromAdapter, // sent back by the adapter
};

// One byte on the serial line and the time (ms on the clock that drove the line) it crossed.
struct WireByte {
    double timeMs = 0;
    Direction direction = Direction::ToAdapter;
    std::uint8_t byte = 0;

    bool operator==(const WireByte&) const = default;
};

// "   1234.567 > 78 x" (> to the adapter, < from it), for logs and failure messages.
QString FormatWireByte(const WireByte& wire);

} // namespace adaptersim
