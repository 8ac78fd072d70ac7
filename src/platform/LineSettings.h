#pragma once

#include <QString>

namespace platform {

// A serial line's settings as the port control's settings text gives them: "9600,N,8,1" is
// baud, parity letter (N, E, O, M, S), data bits and stop bits (1, 1.5 or 2).
struct LineSettings {
    int baud = 9600;
    char parity = 'N';
    int dataBits = 8;
    int stopBitsTimesTwo = 2; // 2, 3 or 4: one, one and a half or two stop bits

    bool operator==(const LineSettings&) const = default;
};

// Parses a settings text; a malformed one raises RuntimeError 8009 (8007 for the baud
// rate, 8008 for the data bits).
LineSettings ParseLineSettings(const QString& text);
// The settings text of line: "9600,N,8,1".
QString LineSettingsText(const LineSettings& line);

} // namespace platform
