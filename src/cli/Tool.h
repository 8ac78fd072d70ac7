#pragma once

#include "platform/PortEnumeration.h"

#include <QStringList>

class QIODevice;
class QTextStream;

namespace adaptersim {
class AdapterModel;
}
namespace platform {
class Clock;
class SettingsStore;
} // namespace platform

namespace cli {

class Interrupts;

// What a run of the tool works with; main builds the real set, a test its own.
struct ToolServices {
    platform::Clock& clock;
    platform::SettingsStore& settings;
    QTextStream& out; // results
    QTextStream& err; // progress and failures
    // The adapter the port "sim" attaches; nullptr for a healthy one of each run's own.
    adaptersim::AdapterModel* simulated = nullptr;
    // Ctrl+C and termination; nullptr leaves the signals as they are.
    Interrupts* interrupts = nullptr;
    bool errIsTerminal = false; // progress as a bar rather than a line per phase
    // The serial ports present; nullptr for the system's own.
    const platform::PortEnumeration* ports = nullptr;
    // Where program --repeat reads "next chip" lines: a file descriptor (the tool's stdin), or
    // a stream (a test's); neither: no more chips.
    int inFd = -1;
    QTextStream* in = nullptr;
    // The bytes of an image given as - (-i from stdin, -o to stdout); nullptr: the tool's own
    // stdin and stdout.
    QIODevice* imageIn = nullptr;
    QIODevice* imageOut = nullptr;
};

// Runs one command line (without the program's name) and returns the exit code.
int RunTool(const QStringList& arguments, ToolServices& services);

} // namespace cli
