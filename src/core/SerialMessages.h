#pragma once

// The program's words for the serial port control's error numbers.
namespace core {

struct SerialMessage {
    int number;
    const char* text;
    int style; // 16 critical stop, 48 exclamation
};

// The message of number, or nullptr when the number has none (8017 and every number
// outside 8000..8021 show nothing).
const SerialMessage* FindSerialMessage(int number);

} // namespace core
