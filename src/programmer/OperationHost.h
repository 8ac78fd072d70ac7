#pragma once

#include <QString>

namespace core {
struct Progress;
}
namespace platform {
class RuntimeError;
}

// What the device operations need of the window that runs them.
class OperationHost {
public:
    virtual ~OperationHost() = default;
    // The main window steps aside for the Working window while the adapter works ...
    virtual void ShowWorking() = 0;
    // ... which shows how far the operation is ...
    virtual void ShowProgress(const core::Progress& progress) = 0;
    // ... and comes back afterwards.
    virtual void EndWorking() = 0;
    // Removes the Working window without bringing the main window back (the program is
    // closing).
    virtual void CloseWorking() = 0;
    // Reports a serial port failure, with extraLine below the port's words when given, and
    // gives the Port Number menu back to the user.
    virtual void SerialErrors(const platform::RuntimeError& error,
                              const QString& extraLine = QString()) = 0;
    // Gives the Port Number menu back after the port or the adapter failed, so that another
    // port can be chosen; the device stays chosen.
    virtual void FreePortMenu() = 0;
    // Keeps the line that says how the last operation ended where the user can read it.
    virtual void ShowResult(const QString& line) = 0;
    // Shows a numbered chip's result large and plain, green for a pass, red for a failure;
    // an empty text takes it away.
    virtual void ShowChipResult(const QString& text, bool pass) = 0;
};
