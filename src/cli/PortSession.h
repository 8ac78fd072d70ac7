#pragma once

#include "Tool.h"
#include "core/PortControl.h"
#include "core/PortDevices.h"
#include "transport/PortFactory.h"

#include <QLockFile>
#include <memory>

namespace cli {

class Trace;

// The port one run works on: held against other runs of the tool for the whole run (a
// program and its read-back are one job), set up for the adapter's line and tested the way
// the window tests a port it is given: open, DSR held, closed again.
class PortSession {
public:
    explicit PortSession(ToolServices& services);
    ~PortSession();

    // Takes and tests the port; with tracePath every byte goes to that file too. On failure
    // prints why and returns the exit code, else 0.
    int Open(const core::PortChoice& choice, const QString& tracePath);

    core::PortControl& Port() { return *port_; }
    // "Comm3 (/dev/ttyS2)", or the device as given.
    QString Label() const;
    // Reports a trace file that could not be written to the end; true when it could.
    bool TraceComplete();

private:
    int Busy(const QString& reason);

    ToolServices& services_;
    core::PortChoice choice_;
    std::unique_ptr<QLockFile> lock_;
    std::unique_ptr<Trace> trace_;
    std::unique_ptr<transport::PortFactory> factory_;
    std::unique_ptr<core::PortControl> port_;
    QString tracePath_;
};

// The line for a port failure: the window's words for its number, the details after them;
// "port busy" leads for a port another process holds.
QString PortFailureText(const QString& label, int number, const QString& description);

} // namespace cli
