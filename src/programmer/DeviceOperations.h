#pragma once

#include <QString>
#include <functional>
#include <memory>

class AdapterLink;
class OperationHost;
class QFileDevice;

namespace platform {
struct Services;
class RuntimeError;
} // namespace platform

// The five operations on the chip's data EEPROM: READ, PROGRAM, VERIFY, CLEAR WPO and
// BULK ERASE. Plain logic on the platform services; the window that runs them is reached
// through OperationHost only.
class DeviceOperations {
public:
    DeviceOperations(platform::Services& services, OperationHost& host);
    ~DeviceOperations();

    // Each takes the chosen family code ("" when none is chosen).
    void Read(const QString& deviceCode);
    void Program(const QString& deviceCode);
    void Verify(const QString& deviceCode);
    void ClearWpo(const QString& deviceCode);
    void BulkErase(const QString& deviceCode);

    // True from the first step of an operation to its last.
    bool Running() const { return running_; }
    // Ends a running operation at its next wait: file and port closed, no window shown.
    void Abort() { abort_ = true; }

private:
    bool Begin(const QString& deviceCode, bool refuseFamilyT);
    void OneCommand(const QString& deviceCode, char command);
    // Runs an operation's steps and sends each kind of failure down its error path.
    void Guarded(const std::function<void()>& body);
    void ReturnToMain(); // the Working window goes, the main window comes back
    void Done();         // the operation is over
    // Closes what the failed operation left open and restores the main window.
    void CleanUp();
    void OperationErrorHandler(const platform::RuntimeError& error);
    void FileFailed(const QString& path, const QString& reason, bool writing);

    platform::Services& services_;
    OperationHost& host_;
    bool running_ = false;
    bool abort_ = false;
    bool working_ = false; // the Working window is up
    std::unique_ptr<AdapterLink> link_;
    std::unique_ptr<QFileDevice> file_;
};
