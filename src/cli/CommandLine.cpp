#include "CommandLine.h"

#include "ExitCode.h"

#include <QCommandLineParser>

namespace cli {

namespace {

struct CommandInfo {
    const char* name;
    Command command;
    const char* usage;
    const char* description;
};

constexpr CommandInfo Commands[] = {
    {"devices", Command::Devices, "devices",
     "Lists the chips served: menu name, chip, family letter, EEPROM range, block size, "
     "adapter board and the commands the chip refuses."},
    {"ports", Command::Ports, "ports [--format table|json]",
     "Lists Comm1..Comm8 with the device each opens (from VIDAVEV_COMMn, the settings or the "
     "default) and whether it is there now, then the serial ports this system has: path, "
     "stable path, USB VID:PID, serial number, manufacturer and description."},
    {"read", Command::Read, "read -p PORT -d DEVICE -o FILE [-f raw|ihex|srec]",
     "Reads the chip's data EEPROM into FILE. FILE is replaced only once the whole block has "
     "arrived; a failed or interrupted read leaves it as it was."},
    {"program", Command::Program,
     "program -p PORT -d DEVICE -i FILE [-f raw|ihex|srec] [--pad] [--no-verify]",
     "Programs FILE into the chip's data EEPROM, then reads the chip back and compares it "
     "with FILE (a mismatch is exit 1). A raw FILE must be one block long."},
    {"verify", Command::Verify, "verify -p PORT -d DEVICE [-i FILE [-f raw|ihex|srec]]",
     "Without -i the adapter compares the chip, as the window's VERIFY does. With -i the chip "
     "is read back and compared with FILE here, listing the bytes that differ."},
    {"erase", Command::Erase, "erase -p PORT -d DEVICE",
     "Erases the whole data EEPROM to FFh (BULK ERASE)."},
    {"clear-wpo", Command::ClearWpo, "clear-wpo -p PORT -d DEVICE",
     "Clears the chip's write-protect override register to 00h (CLEAR WPO)."},
};

const QString Try = QStringLiteral("Try 'tms370 --help'.");

ParsedLine Usage(const QString& message, const QString& hint = Try) {
    return {std::nullopt, QStringLiteral("tms370: %1\n%2\n").arg(message, hint), UsageError};
}

const QCommandLineOption PortOption({"p", "port"},
                                    "Comm1..Comm8, a device path, or sim (the built-in "
                                    "simulated adapter).",
                                    "PORT");
const QCommandLineOption DeviceOption({"d", "device"},
                                      "The chip as the Device menu names it (or its part "
                                      "number), or a family letter x, y or t.",
                                      "DEVICE");
const QCommandLineOption FastOption("fast", "Take the adapter's answer as fast as the line "
                                            "carries it (default: the FastReceive setting).");
const QCommandLineOption QuietOption({"q", "quiet"}, "No progress on stderr.");
const QCommandLineOption TraceOption("trace",
                                     "Write every byte sent and received, with its time in "
                                     "ms, one line each, to FILE.",
                                     "FILE");
const QCommandLineOption OutputOption({"o", "output"}, "The image file to write.", "FILE");
const QCommandLineOption InputOption({"i", "input"}, "The image file.", "FILE");
const QCommandLineOption ListFormatOption(QStringList{QStringLiteral("format")},
                                          QStringLiteral("How to list: table (the default) or "
                                                         "json, for scripts."),
                                          QStringLiteral("FORMAT"));
const QCommandLineOption FormatOption({"f", "format"},
                                      "raw, ihex (Intel HEX) or srec (S-record). Default: by "
                                      "the file's extension (.ihx .ihex; .srec .s19 .s28 .s37 "
                                      ".mot); anything else, .bin and .hex too, is raw.",
                                      "FORMAT");
const QCommandLineOption RecordOption("record-size",
                                      "Data bytes a line in Intel HEX and S-record output: "
                                      "16 (default) or 32.",
                                      "N");
const QCommandLineOption PadOption("pad", "Fill a raw image shorter than the block up with "
                                          "FFh (a longer one is always refused).");
const QCommandLineOption NoVerifyOption("no-verify", "Do not read the chip back afterwards.");
const QCommandLineOption HelpOption({"h", "help"}, "Show this help.");

// Whether the line gives option; asking QCommandLineParser about an option the command does
// not have only earns a warning.
bool Given(const QCommandLineParser& parser, const QCommandLineOption& option) {
    const QStringList given = parser.optionNames();
    for (const QString& name : option.names()) {
        if (given.contains(name)) {
            return true;
        }
    }
    return false;
}

QString ValueOf(const QCommandLineParser& parser, const QCommandLineOption& option) {
    return Given(parser, option) ? parser.value(option) : QString();
}

// Text broken into lines of at most width characters, at blanks.
QString Wrapped(const QString& text, int width) {
    QString result;
    qsizetype lineLength = 0;
    for (const QString& word : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        if (lineLength > 0 && lineLength + 1 + word.size() > width) {
            result += QLatin1Char('\n');
            lineLength = 0;
        } else if (lineLength > 0) {
            result += QLatin1Char(' ');
            ++lineLength;
        }
        result += word;
        lineLength += word.size();
    }
    return result;
}

void AddOptions(QCommandLineParser& parser, Command command) {
    parser.addOption(HelpOption);
    if (command == Command::Ports) {
        parser.addOption(ListFormatOption);
    }
    if (command == Command::Devices || command == Command::Ports) {
        return;
    }
    parser.addOption(PortOption);
    parser.addOption(DeviceOption);
    switch (command) {
    case Command::Read:
        parser.addOption(OutputOption);
        parser.addOption(FormatOption);
        parser.addOption(RecordOption);
        break;
    case Command::Program:
        parser.addOption(InputOption);
        parser.addOption(FormatOption);
        parser.addOption(PadOption);
        parser.addOption(NoVerifyOption);
        break;
    case Command::Verify:
        parser.addOption(InputOption);
        parser.addOption(FormatOption);
        parser.addOption(PadOption);
        break;
    default:
        break;
    }
    parser.addOption(FastOption);
    parser.addOption(QuietOption);
    parser.addOption(TraceOption);
}

QString CommandHelp(const CommandInfo& info, const QCommandLineParser& parser) {
    const QString options = parser.helpText();
    const qsizetype at = options.indexOf(QLatin1String("Options:"));
    return QStringLiteral("Usage: tms370 %1 [options]\n\n%2\n\n%3")
        .arg(QLatin1String(info.usage), Wrapped(QLatin1String(info.description), 79),
             at >= 0 ? options.mid(at) : options);
}

// The device named: a chip, or a family letter.
bool ReadDevice(const QString& text, Request& request) {
    if (const core::DeviceRow* row = core::FindDevice(text)) {
        request.family = &row->DeviceFamily();
        request.deviceName = QLatin1String(row->chip);
        return true;
    }
    if (const core::Family* family = core::FindFamily(text.trimmed().toLower())) {
        request.family = family;
        request.deviceName = QStringLiteral("family %1").arg(QLatin1Char(family->code));
        return true;
    }
    return false;
}

} // namespace

QString MainHelp() {
    return QStringLiteral(
        "Usage: tms370 COMMAND [options]\n"
        "\n"
        "Reads, programs, verifies and erases the data EEPROM of TMS370-family chips\n"
        "through a programming adapter on a serial port.\n"
        "\n"
        "Commands:\n"
        "  devices     list the chips served: family letter, EEPROM range, block size\n"
        "  ports       list Comm1..Comm8 and the serial ports of this system\n"
        "  read        read -p PORT -d DEVICE -o FILE [-f raw|ihex|srec]\n"
        "  program     program -p PORT -d DEVICE -i FILE [-f FORMAT] [--pad] [--no-verify]\n"
        "  verify      verify -p PORT -d DEVICE [-i FILE]  (-i: compare on this computer)\n"
        "  erase       erase -p PORT -d DEVICE  (BULK ERASE to FFh)\n"
        "  clear-wpo   clear-wpo -p PORT -d DEVICE  (WPO register to 00h)\n"
        "\n"
        "PORT: Comm1..Comm8 (VIDAVEV_COMMn or the settings map them), a device path, or\n"
        "sim, the built-in simulated adapter. DEVICE: a chip as the Device menu names it,\n"
        "or a family letter x, y or t. FILE: raw bytes, Intel HEX or S-records, by -f or\n"
        "by extension (.ihx .ihex; .srec .s19 .s28 .s37 .mot; anything else is raw).\n"
        "\n"
        "Every device command also takes --fast, -q (no progress) and --trace FILE.\n"
        "'tms370 COMMAND --help' describes a command.\n"
        "\n"
        "Exit codes:\n"
        "  0    success\n"
        "  1    verify mismatch\n"
        "  2    the adapter gave no answer or a short one\n"
        "  3    port missing, busy or failed\n"
        "  4    file missing, unreadable, unwritable or malformed\n"
        "  64   usage error\n"
        "  130  interrupted (Ctrl+C)\n");
}

ParsedLine ParseCommandLine(const QStringList& arguments) {
    if (arguments.isEmpty()) {
        return Usage(QStringLiteral("no command given"));
    }
    const QString& first = arguments.first();
    if (first == QLatin1String("--help") || first == QLatin1String("-h") ||
        first == QLatin1String("help")) {
        return {std::nullopt, MainHelp(), Success};
    }
    if (first == QLatin1String("--version") || first == QLatin1String("-v")) {
        return {std::nullopt, QStringLiteral("tms370 %1\n").arg(QLatin1String(ToolVersion)),
                Success};
    }
    const CommandInfo* info = nullptr;
    for (const CommandInfo& candidate : Commands) {
        if (first == QLatin1String(candidate.name)) {
            info = &candidate;
        }
    }
    if (!info) {
        return Usage(QStringLiteral("unknown command '%1'").arg(first));
    }
    const QString hint = QStringLiteral("Try 'tms370 %1 --help'.").arg(QLatin1String(info->name));

    QCommandLineParser parser;
    AddOptions(parser, info->command);
    if (!parser.parse(QStringList{QStringLiteral("tms370")} + arguments.mid(1))) {
        return Usage(parser.errorText(), hint);
    }
    if (Given(parser, HelpOption)) {
        return {std::nullopt, CommandHelp(*info, parser), Success};
    }
    if (!parser.positionalArguments().isEmpty()) {
        return Usage(
            QStringLiteral("unexpected argument '%1'").arg(parser.positionalArguments().first()),
            hint);
    }
    Request request;
    request.command = info->command;
    if (info->command == Command::Ports && Given(parser, ListFormatOption)) {
        const QString format = ValueOf(parser, ListFormatOption).trimmed().toLower();
        if (format != QLatin1String("table") && format != QLatin1String("json")) {
            return Usage(QStringLiteral("unknown format '%1'; give table or json")
                             .arg(ValueOf(parser, ListFormatOption)),
                         hint);
        }
        request.json = format == QLatin1String("json");
    }
    if (info->command == Command::Devices || info->command == Command::Ports) {
        return {request, QString(), Success};
    }

    QStringList missing;
    if (!Given(parser, PortOption)) {
        missing << QStringLiteral("-p PORT");
    }
    if (!Given(parser, DeviceOption)) {
        missing << QStringLiteral("-d DEVICE");
    }
    if (info->command == Command::Read && !Given(parser, OutputOption)) {
        missing << QStringLiteral("-o FILE");
    }
    if (info->command == Command::Program && !Given(parser, InputOption)) {
        missing << QStringLiteral("-i FILE");
    }
    if (!missing.isEmpty()) {
        return Usage(QStringLiteral("%1 needs %2")
                         .arg(QLatin1String(info->name), missing.join(QStringLiteral(", "))),
                     hint);
    }
    request.port = ValueOf(parser, PortOption);
    if (!ReadDevice(ValueOf(parser, DeviceOption), request)) {
        return Usage(
            QStringLiteral("unknown device '%1'; give one of %2, or a family letter "
                           "x, y or t")
                .arg(ValueOf(parser, DeviceOption), core::DeviceNames().join(QStringLiteral(", "))),
            QStringLiteral("'tms370 devices' lists them."));
    }
    if (info->command == Command::Read) {
        request.file = ValueOf(parser, OutputOption);
    } else if (Given(parser, InputOption)) {
        request.file = ValueOf(parser, InputOption);
    }
    if (Given(parser, FormatOption)) {
        request.format = core::ParseImageFormat(ValueOf(parser, FormatOption));
        if (!request.format) {
            return Usage(QStringLiteral("unknown format '%1'; give raw, ihex or srec")
                             .arg(ValueOf(parser, FormatOption)),
                         hint);
        }
        if (request.file.isEmpty()) {
            return Usage(QStringLiteral("-f names the format of -i FILE"), hint);
        }
    }
    if (Given(parser, RecordOption)) {
        request.recordBytes = ValueOf(parser, RecordOption).toInt();
        if (request.recordBytes != 16 && request.recordBytes != 32) {
            return Usage(QStringLiteral("--record-size takes 16 or 32"), hint);
        }
    }
    request.pad = Given(parser, PadOption);
    request.noVerify = Given(parser, NoVerifyOption);
    request.fast = Given(parser, FastOption);
    request.quiet = Given(parser, QuietOption);
    request.trace = ValueOf(parser, TraceOption);
    return {request, QString(), Success};
}

} // namespace cli
