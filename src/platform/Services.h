#pragma once

namespace core {
class PortControl;
}

namespace platform {

class Clock;
class MessageBoxes;
class FileDialogs;
class SettingsStore;
class PortEnumeration;

// The platform services a window receives at construction. The program builds the Qt set,
// the tests a set of doubles.
struct Services {
    Clock& clock;
    MessageBoxes& messages;
    FileDialogs& dialogs;
    SettingsStore& settings;
    core::PortControl* port = nullptr; // the main window's serial port control
    // The serial ports present; nullptr for the system's own.
    const PortEnumeration* ports = nullptr;
};

} // namespace platform
