#pragma once

namespace platform {

class Clock;
class MessageBoxes;
class FileDialogs;
class SettingsStore;
class SerialPort;

// The platform services a window receives at construction. The program builds the Qt set,
// the tests a set of doubles.
struct Services {
    Clock& clock;
    MessageBoxes& messages;
    FileDialogs& dialogs;
    SettingsStore& settings;
    SerialPort* port = nullptr; // the main window's serial port control
};

} // namespace platform
