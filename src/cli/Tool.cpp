#include "Tool.h"

#include "Commands.h"
#include "ExitCode.h"
#include "ResultJson.h"

#include <QJsonDocument>
#include <QTextStream>

namespace cli {

int RunTool(const QStringList& arguments, ToolServices& services) {
    const ParsedLine line = ParseCommandLine(arguments);
    if (!line.request) {
        QTextStream& stream = line.exitCode == 0 ? services.out : services.err;
        stream << line.text;
        stream.flush();
        // A program that asked for JSON gets its object even for a line it got wrong.
        const std::optional<Command> json = JsonAskedBy(arguments);
        if (line.exitCode == UsageError && json && OperationOf(*json)) {
            ResultFacts facts;
            facts.operation = core::OperationName(*OperationOf(*json));
            facts.result = ResultWordOf(line.exitCode);
            facts.exitCode = line.exitCode;
            facts.message = line.text.section(QLatin1Char('\n'), 0, 0).mid(8); // "tms370: "
            services.out << QJsonDocument(ResultJson(facts)).toJson(QJsonDocument::Indented);
            services.out.flush();
        }
        return line.exitCode;
    }
    switch (line.request->command) {
    case Command::Devices:
        return ListDevices(*line.request, services);
    case Command::Ports:
        return ListPorts(*line.request, services);
    case Command::Journal:
        return ListJournal(*line.request, services);
    case Command::Completion:
        return PrintCompletion(*line.request, services);
    case Command::Fields:
        return ShowFields(*line.request, services);
    default:
        return RunDeviceCommand(*line.request, services);
    }
}

} // namespace cli
