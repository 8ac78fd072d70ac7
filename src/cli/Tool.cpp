#include "Tool.h"

#include "Commands.h"
#include "ExitCode.h"
#include "Interrupts.h"

#include <QTextStream>

namespace cli {

int RunTool(const QStringList& arguments, ToolServices& services) {
    const ParsedLine line = ParseCommandLine(arguments);
    if (!line.request) {
        QTextStream& stream = line.exitCode == 0 ? services.out : services.err;
        stream << line.text;
        stream.flush();
        return line.exitCode;
    }
    switch (line.request->command) {
    case Command::Devices:
        return ListDevices(services);
    case Command::Ports:
        return ListPorts(*line.request, services);
    case Command::Journal:
        return ListJournal(*line.request, services);
    case Command::Fields:
        return ShowFields(*line.request, services);
    default: {
        const int code = RunDeviceCommand(*line.request, services);
        return code == Interrupted && services.interrupts && services.interrupts->StopAsked()
                   ? services.interrupts->ExitCode()
                   : code;
    }
    }
}

} // namespace cli
