#pragma once

#include <QString>
#include <stdexcept>

namespace platform {

// The program's one run-time error: a number and a description, as the error handlers
// sort failures by number (serial port errors 8000..8021, file errors, cancel 32755, ...).
class RuntimeError : public std::runtime_error {
public:
    RuntimeError(int number, const QString& description)
        : std::runtime_error(description.toStdString()), number_(number),
          description_(description) {}

    int Number() const { return number_; }
    const QString& Description() const { return description_; }

private:
    int number_;
    QString description_;
};

// Error numbers that more than one subsystem raises or sorts on.
namespace ErrorNumber {
constexpr int IllegalCall = 5;   // "Invalid procedure call or argument"
constexpr int FileNotFound = 53; // a file that must exist is missing
constexpr int PermissionDenied = 70;
constexpr int PathFileAccess = 75; // the file could not be opened, read or written
constexpr int CancelError = 32755; // the user cancelled a file dialog
// A serial port failure that none of 8000..8021 describes (a Unix device the user may not
// open, say); its description carries the system's reason.
constexpr int SerialSystemError = 8099;
} // namespace ErrorNumber

} // namespace platform
