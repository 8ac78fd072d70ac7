#pragma once

namespace platform {
class RuntimeError;
}

// What the device operations need of the window that runs them.
class OperationHost {
public:
    virtual ~OperationHost() = default;
    // The main window steps aside for the Working window while the adapter works ...
    virtual void ShowWorking() = 0;
    // ... and comes back afterwards.
    virtual void EndWorking() = 0;
    // Removes the Working window without bringing the main window back (the program is
    // closing).
    virtual void CloseWorking() = 0;
    // Reports a serial port failure and gives the Port Number menu back to the user.
    virtual void SerialErrors(const platform::RuntimeError& error) = 0;
};
