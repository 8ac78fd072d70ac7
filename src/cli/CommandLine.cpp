#include "CommandLine.h"

#include "ExitCode.h"

#include "production/Recipe.h"

#include <QCommandLineParser>
#include <algorithm>

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
    {"read", Command::Read, "read -p PORT -d DEVICE -o FILE [-f raw|ihex|srec] [--force]",
     "Reads the chip's data EEPROM into FILE. FILE is replaced only once the whole block has "
     "arrived; a failed or interrupted read leaves it as it was. A FILE that is there keeps "
     "its mode, and its owner where the system allows; a read-only one is replaced only with "
     "--force."},
    {"program", Command::Program,
     "program -p PORT -d DEVICE -i FILE [-f raw|ihex|srec] [--pad] [--no-verify] "
     "[--serial ADDR:BYTES[:FORMAT] --journal STORE [--serial-start N] [--serial-step K] "
     "[--serial-last M] [--series NAME] [--lease SECONDS]] [--keep ADDR:LEN] "
     "[--checksum ADDR:ALG[:FROM-TO]] [--skip-same] [--repeat] [--recipe FILE]",
     "Programs FILE into the chip's data EEPROM, then reads the chip back and compares it "
     "with FILE (a mismatch is exit 1). A raw FILE must be one block long. With --serial the "
     "series' next number is patched into the image first; only a chip that verifies uses it "
     "up, a failed one gives it back for the next chip (the journal's series unreachable or "
     "used up is exit 6). --keep reads the chip first and keeps its bytes in a range (its "
     "calibration); --checksum writes a checksum field after every other patch; --skip-same "
     "writes nothing to a chip that already holds the image (its serial number aside: a "
     "number taken for it goes back). --repeat programs chip after chip, a line on stdin "
     "between them, and ends with a summary. --recipe FILE takes the options a recipe file "
     "gives."},
    {"verify", Command::Verify, "verify -p PORT -d DEVICE [-i FILE [-f raw|ihex|srec] | --blank]",
     "Without -i the adapter compares the chip, as the window's VERIFY does. With -i the chip "
     "is read back and compared with FILE here, listing the bytes that differ. With --blank "
     "the chip is read back and every byte must be FFh (a byte that is not is exit 1)."},
    {"erase", Command::Erase, "erase -p PORT -d DEVICE [--verify]",
     "Erases the whole data EEPROM to FFh (BULK ERASE). The adapter does not answer it: with "
     "--verify the chip is read back and every byte must be FFh (a byte that is not is exit "
     "1)."},
    {"clear-wpo", Command::ClearWpo, "clear-wpo -p PORT -d DEVICE",
     "Clears the chip's write-protect override register to 00h (CLEAR WPO)."},
    {"journal", Command::Journal,
     "journal --journal STORE [--series NAME] [--since TIME] [--format table|csv|json] "
     "[--summary | --held | --settle N:used|free]",
     "Lists the journal's rows, oldest first: time (UTC), bench, port, device, chip, "
     "operation, image and its SHA-256, series, serial, result, CRC-32, duration, version. "
     "--summary gives per series the next number and the numbers used, given back, held and "
     "in two chips. A held number is never handed out again by itself, since a chip may hold "
     "it: its bench settles it, or, when the bench stopped or could not tell the journal, a "
     "person does. --held lists those numbers, and the numbers found in two chips; --settle "
     "N:used says a chip keeps N (one in two chips: one of them was numbered again), "
     "--settle N:free that none does, so it is handed out again. --settle takes a held number "
     "only once its bench's lease has run out."},
    {"fields", Command::Fields, "fields FILE --recipe RECIPE [-d DEVICE] [--format table|json]",
     "Prints the fields that RECIPE's [fields] section names (or a layout file's, holding only "
     "that section) as FILE holds them: name, address, type and value, and for a checksum field "
     "whether it matches its range. In an Intel HEX or S-record FILE the addresses are the "
     "records'; in a raw FILE one block of DEVICE (-d, else the recipe's device) long they count "
     "from the EEPROM's start, in any other from 0. Exit 1 when a checksum field does not match "
     "or lies outside FILE."},
};

const QString Try = QStringLiteral("Try 'tms370 --help'.");

ParsedLine Usage(const QString& message, const QString& hint = Try) {
    return {std::nullopt, QStringLiteral("tms370: %1\n%2\n").arg(message, hint), UsageError};
}

const QCommandLineOption PortOption({"p", "port"},
                                    "Comm1..Comm8, a device path, usb:SERIAL (a USB adapter by "
                                    "its serial number), net:HOST:PORT (a terminal server, raw "
                                    "TCP), rfc2217://HOST:PORT[?dsr=ignore] (one that speaks "
                                    "RFC 2217), or sim (the built-in simulated adapter).",
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
const QCommandLineOption ForceOption("force", "Replace FILE even when it is read-only (it "
                                              "stays read-only).");
const QCommandLineOption NoVerifyOption("no-verify", "Do not read the chip back afterwards.");
const QCommandLineOption EraseVerifyOption("verify", "Read the chip back afterwards and check "
                                                     "that every byte is FFh.");
const QCommandLineOption BlankOption("blank", "Check that every byte is FFh (read back here); "
                                              "nothing is erased.");
const QCommandLineOption HelpOption({"h", "help"}, "Show this help.");
const QCommandLineOption VersionOption({"v", "version"}, "Show the version.");
const QCommandLineOption JournalOption("journal",
                                       "Add a row for the run to STORE: an SQLite file (made "
                                       "on first use) or postgresql://USER@HOST[:PORT]/DB "
                                       "(password from PGPASSWORD or ~/.pgpass). Default: "
                                       "the setting Production/Journal.",
                                       "STORE");
const QCommandLineOption SerialOption("serial",
                                      "Patch the series' next number into the image: its "
                                      "first byte's EEPROM address (1FFCh or 0x1FFC), 1 to 8 "
                                      "bytes, be (default), le, bcd or ascii.",
                                      "ADDR:BYTES[:FORMAT]");
const QCommandLineOption SerialStartOption("serial-start",
                                           "The first number of a new series (decimal or 0x "
                                           "hex); a series that exists continues.",
                                           "N");
const QCommandLineOption SerialStepOption("serial-step", "A new series' step (default 1).", "K");
const QCommandLineOption SerialLastOption("serial-last", "A new series' last number.", "M");
const QCommandLineOption KeepOption("keep",
                                    "Keep the chip's own bytes there: the chip is read first "
                                    "and its LEN bytes from ADDR (1E10h or 0x1E10) are laid "
                                    "into the image. May be given more than once.",
                                    "ADDR:LEN");
const QCommandLineOption SkipSameOption("skip-same",
                                        "Read the chip first and leave it as it is when it "
                                        "already holds the image (its own serial number "
                                        "aside): result 'same', exit 0.");
const QCommandLineOption RepeatOption("repeat",
                                      "Program chip after chip on one port and one journal "
                                      "connection: after each, press Enter for the next, q "
                                      "and Enter (or end of input) to stop; a summary ends "
                                      "the session.");
const QCommandLineOption RecipeOption("recipe",
                                      "Take the options FILE's [recipe] section gives (KEY = "
                                      "VALUE, the options' long names; image for -i); the "
                                      "command line's own win.",
                                      "FILE");
const QCommandLineOption FieldsRecipeOption("recipe",
                                            "The recipe, or a layout file, whose [fields] "
                                            "section names the fields.",
                                            "RECIPE");
const QCommandLineOption ChecksumOption(
    "checksum",
    "After every other patch, write at ADDR the checksum ALG (sum8, sum16, sum16le, crc16 "
    "(CCITT-FALSE), crc32, crc32le; without le most significant byte first) of FROM-TO (EEPROM "
    "addresses, both included; default: the whole block but the field). May be given more "
    "than once; each is written in turn.",
    "ADDR:ALG[:FROM-TO]");
const QCommandLineOption SeriesOption("series", "The series (default: default).", "NAME");
const QCommandLineOption LeaseOption("lease",
                                     "How long the bench works on its number: until then no "
                                     "person can settle it (default 120).",
                                     "SECONDS");
const QCommandLineOption SinceOption("since",
                                     "Rows from TIME on (UTC, as 2026-12-07 or "
                                     "2026-12-07T09:30).",
                                     "TIME");
// How `ports` (table or json) and `journal` (also csv) write what they list.
const QCommandLineOption ListFormatOption("format", "table (default), csv or json.", "FORMAT");
const QCommandLineOption SummaryOption("summary", "Per series: the next number, and the "
                                                  "numbers used, given back, held and in two "
                                                  "chips.");
const QCommandLineOption HeldOption("held", "The numbers held by a bench or found in two chips, "
                                            "which a person may have to settle.");
const QCommandLineOption SettleOption("settle",
                                      "A person's word on a held number or one in two chips "
                                      "of --series (default: default): N:used (a chip keeps "
                                      "it) or N:free (no chip does).",
                                      "N:used|free");
const QCommandLineOption StoreTimeoutOption("store-timeout",
                                            "How long a call to the journal's server may take, "
                                            "in seconds (default: the setting "
                                            "Production/StoreTimeout, else 5).",
                                            "SECONDS");

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

// The options command takes, in the order its help lists them.
QList<QCommandLineOption> OptionsOf(Command command) {
    QList<QCommandLineOption> options{HelpOption, VersionOption};
    if (command == Command::Ports) {
        options << ListFormatOption;
    }
    if (command == Command::Devices || command == Command::Ports) {
        return options;
    }
    if (command == Command::Fields) {
        return options << FieldsRecipeOption << DeviceOption << ListFormatOption;
    }
    options << JournalOption << StoreTimeoutOption;
    if (command == Command::Journal) {
        return options << SeriesOption << SinceOption << ListFormatOption << SummaryOption
                       << HeldOption << SettleOption;
    }
    options << PortOption << DeviceOption;
    switch (command) {
    case Command::Read:
        options << OutputOption << FormatOption << RecordOption << ForceOption;
        break;
    case Command::Program:
        options << InputOption << FormatOption << PadOption << NoVerifyOption << KeepOption
                << ChecksumOption << SkipSameOption << RepeatOption << RecipeOption << SerialOption
                << SerialStartOption << SerialStepOption << SerialLastOption << SeriesOption
                << LeaseOption;
        break;
    case Command::Verify:
        options << InputOption << FormatOption << PadOption << BlankOption;
        break;
    case Command::Erase:
        options << EraseVerifyOption;
        break;
    default:
        break;
    }
    return options << FastOption << QuietOption << TraceOption;
}

void AddOptions(QCommandLineParser& parser, Command command) {
    parser.addOptions(OptionsOf(command));
}

QString CommandHelp(const CommandInfo& info, const QCommandLineParser& parser) {
    const QString options = parser.helpText();
    const qsizetype at = options.indexOf(QLatin1String("Options:"));
    return QStringLiteral("Usage: tms370 %1 [options]\n\n%2\n\n%3")
        .arg(QLatin1String(info.usage), Wrapped(QLatin1String(info.description), 79),
             at >= 0 ? options.mid(at) : options);
}

} // namespace

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

namespace {

ParsedLine UnknownDevice(const QString& text) {
    return Usage(QStringLiteral("unknown device '%1'; give one of %2, or a family letter x, y or t")
                     .arg(text, core::DeviceNames().join(QStringLiteral(", "))),
                 QStringLiteral("'tms370 devices' lists them."));
}

// fields FILE --recipe RECIPE [-d DEVICE] [--format table|json].
ParsedLine ReadFields(const QCommandLineParser& parser, const QString& hint) {
    Request request;
    request.command = Command::Fields;
    const QStringList files = parser.positionalArguments();
    if (files.size() > 1) {
        return Usage(QStringLiteral("unexpected argument '%1'").arg(files[1]), hint);
    }
    if (files.isEmpty() || !Given(parser, FieldsRecipeOption)) {
        return Usage(QStringLiteral("fields needs FILE and --recipe RECIPE"), hint);
    }
    request.file = files[0];
    request.recipe = ValueOf(parser, FieldsRecipeOption);
    if (Given(parser, DeviceOption) && !ReadDevice(ValueOf(parser, DeviceOption), request)) {
        return UnknownDevice(ValueOf(parser, DeviceOption));
    }
    request.listFormat = Given(parser, ListFormatOption)
                             ? ValueOf(parser, ListFormatOption).trimmed().toLower()
                             : request.listFormat;
    if (request.listFormat != QLatin1String("table") &&
        request.listFormat != QLatin1String("json")) {
        return Usage(QStringLiteral("unknown format '%1'; give table or json")
                         .arg(ValueOf(parser, ListFormatOption)),
                     hint);
    }
    return {request, QString(), Success};
}

ParsedLine ReadListing(const QCommandLineParser& parser, Request& request, const QString& hint) {
    request.seriesFilter = ValueOf(parser, SeriesOption);
    if (Given(parser, SinceOption)) {
        request.since = QDateTime::fromString(ValueOf(parser, SinceOption), Qt::ISODateWithMs);
        if (!request.since.isValid()) {
            request.since =
                QDateTime(QDate::fromString(ValueOf(parser, SinceOption), Qt::ISODate), QTime());
        }
        if (!request.since.isValid()) {
            return Usage(QStringLiteral("--since takes a time as 2026-12-07 or 2026-12-07T09:30, "
                                        "not '%1'")
                             .arg(ValueOf(parser, SinceOption)),
                         hint);
        }
        if (request.since.timeSpec() == Qt::LocalTime) {
            request.since.setTimeSpec(Qt::UTC); // the journal's times are UTC
        }
    }
    if (Given(parser, ListFormatOption)) {
        request.listFormat = ValueOf(parser, ListFormatOption).toLower();
        if (!QStringList{"table", "csv", "json"}.contains(request.listFormat)) {
            return Usage(QStringLiteral("unknown format '%1'; give table, csv or json")
                             .arg(ValueOf(parser, ListFormatOption)),
                         hint);
        }
    }
    request.summary = Given(parser, SummaryOption);
    request.held = Given(parser, HeldOption);
    if (Given(parser, SettleOption)) {
        const QStringList parts = ValueOf(parser, SettleOption).split(QLatin1Char(':'));
        request.settleNumber = core::ParseSerialNumber(parts.value(0));
        request.settleUsed = parts.value(1) == QLatin1String("used");
        if (parts.size() != 2 || !request.settleNumber ||
            (!request.settleUsed && parts.value(1) != QLatin1String("free"))) {
            return Usage(QStringLiteral("--settle takes N:used (a chip keeps N) or N:free (no "
                                        "chip does), not '%1'")
                             .arg(ValueOf(parser, SettleOption)),
                         hint);
        }
    }
    if (int(request.summary) + int(request.held) + int(bool(request.settleNumber)) > 1) {
        return Usage(QStringLiteral("give one of --summary, --held and --settle"), hint);
    }
    return {request, QString(), Success};
}

// --serial and the options of its series, all checked against the device before anything is
// sent.
ParsedLine ReadSerial(const QCommandLineParser& parser, Request& request, const QString& hint) {
    const bool serialGiven = Given(parser, SerialOption);
    for (const QCommandLineOption& option :
         {SerialStartOption, SerialStepOption, SerialLastOption, SeriesOption, LeaseOption}) {
        if (!serialGiven && Given(parser, option)) {
            return Usage(QStringLiteral("--%1 goes with --serial").arg(option.names().first()),
                         hint);
        }
    }
    if (!serialGiven) {
        return {request, QString(), Success};
    }
    QString why;
    request.serial = core::ParseSerialField(ValueOf(parser, SerialOption), &why);
    if (!request.serial) {
        return Usage(why, hint);
    }
    const core::SerialField& field = *request.serial;
    why = core::FieldOutsideEeprom(field, *request.family);
    if (!why.isEmpty()) {
        return Usage(QStringLiteral("%1 of %2").arg(why, request.deviceName), hint);
    }
    if (request.noVerify) {
        return Usage(QStringLiteral("--serial needs the read-back: a number is used up only by "
                                    "a chip that verified, so --no-verify cannot go with it"),
                     hint);
    }
    const quint64 largest = core::LargestSerial(field.bytes, field.format);
    struct Number {
        const QCommandLineOption& option;
        std::optional<qint64>& value;
        qint64 least;
    };
    for (const Number& number : {Number{SerialStartOption, request.series.start, 0},
                                 Number{SerialStepOption, request.series.step, 1},
                                 Number{SerialLastOption, request.series.last, 0}}) {
        if (!Given(parser, number.option)) {
            continue;
        }
        const QString text = ValueOf(parser, number.option);
        number.value = core::ParseSerialNumber(text);
        if (!number.value || *number.value < number.least) {
            return Usage(QStringLiteral("--%1 takes a whole number of at least %2 (decimal or "
                                        "0x hex), not '%3'")
                             .arg(number.option.names().first())
                             .arg(number.least)
                             .arg(text),
                         hint);
        }
        if (&number.option != &SerialStepOption && quint64(*number.value) > largest) {
            return Usage(QStringLiteral("--%1 %2 does not fit %3 bytes as %4 (at most %5)")
                             .arg(number.option.names().first())
                             .arg(*number.value)
                             .arg(field.bytes)
                             .arg(core::SerialFormatName(field.format))
                             .arg(largest),
                         hint);
        }
    }
    if (request.series.start && request.series.last &&
        *request.series.last < *request.series.start) {
        return Usage(QStringLiteral("--serial-last comes before --serial-start"), hint);
    }
    if (Given(parser, SeriesOption)) {
        request.series.name = ValueOf(parser, SeriesOption);
        if (request.series.name.trimmed().isEmpty()) {
            return Usage(QStringLiteral("--series needs a name"), hint);
        }
    }
    if (Given(parser, LeaseOption)) {
        bool ok = false;
        request.leaseSeconds = ValueOf(parser, LeaseOption).toInt(&ok);
        if (!ok || request.leaseSeconds < 1) {
            return Usage(QStringLiteral("--lease takes whole seconds, at least 1"), hint);
        }
    }
    return {request, QString(), Success};
}

// --keep and --checksum, checked against the device and the serial number's field.
ParsedLine ReadPatches(const QCommandLineParser& parser, Request& request, const QString& hint) {
    QString why;
    request.patches.skipSame = Given(parser, SkipSameOption);
    request.repeat = Given(parser, RepeatOption);
    for (const QString& text : parser.values(KeepOption)) {
        const std::optional<production::KeepRange> range = production::ParseKeepRange(text, &why);
        if (!range) {
            return Usage(why, hint);
        }
        request.patches.keep.append(*range);
    }
    for (const QString& text : parser.values(ChecksumOption)) {
        const std::optional<production::ChecksumField> sum =
            production::ParseChecksumField(text, &why);
        if (!sum) {
            return Usage(why, hint);
        }
        request.patches.checksums.append(*sum);
    }
    why = request.patches.Conflict(*request.family, request.serial);
    if (!why.isEmpty()) {
        return Usage(QStringLiteral("%1 (%2)").arg(why, request.deviceName), hint);
    }
    return {request, QString(), Success};
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
        "  read        read -p PORT -d DEVICE -o FILE [-f raw|ihex|srec] [--force]\n"
        "  program     program -p PORT -d DEVICE -i FILE [-f FORMAT] [--pad] [--no-verify]\n"
        "  verify      verify -p PORT -d DEVICE [-i FILE | --blank]  (compare here)\n"
        "  erase       erase -p PORT -d DEVICE [--verify]  (BULK ERASE to FFh)\n"
        "  clear-wpo   clear-wpo -p PORT -d DEVICE  (WPO register to 00h)\n"
        "  journal     journal --journal STORE [--series NAME] [--since TIME]\n"
        "              [--summary | --held | --settle N:used|free]\n"
        "  fields      fields FILE --recipe RECIPE [-d DEVICE]  (named values, checksums)\n"
        "\n"
        "PORT: Comm1..Comm8 (VIDAVEV_COMMn or the settings map them), a device path,\n"
        "usb:SERIAL (a USB adapter by its serial number), net:HOST:PORT (a terminal\n"
        "server, raw TCP), rfc2217://HOST:PORT[?dsr=ignore] (one that speaks RFC 2217),\n"
        "or sim, the built-in simulated adapter. DEVICE: a chip as the Device menu names\n"
        "it, or a family letter x, y or t. FILE: raw bytes, Intel HEX or S-records, by -f\n"
        "or by extension (.ihx .ihex; .srec .s19 .s28 .s37 .mot; anything else is raw).\n"
        "\n"
        "Every device command also takes --fast, -q (no progress), --trace FILE and\n"
        "--journal STORE (a row for the run; STORE: an SQLite file or\n"
        "postgresql://USER@HOST[:PORT]/DB). program --serial ADDR:BYTES[:FORMAT] patches\n"
        "each chip with the next number of a series the journal keeps. read --force\n"
        "replaces a read-only FILE; a FILE replaced keeps its mode.\n"
        "'tms370 COMMAND --help' describes a command.\n"
        "\n"
        "Exit codes:\n"
        "  0    success\n"
        "  1    verify mismatch; fields: a checksum field that does not match\n"
        "  2    the adapter gave no answer or a short one\n"
        "  3    port missing, busy or failed\n"
        "  4    file missing, unreadable, unwritable or malformed\n"
        "  6    journal unreachable, the serial number series used up, or a number\n"
        "       found in two chips\n"
        "  64   usage error\n"
        "  129  ended by SIGHUP\n"
        "  130  interrupted (Ctrl+C)\n"
        "  143  ended by SIGTERM\n");
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
    const ParsedLine version{
        std::nullopt, QStringLiteral("tms370 %1\n").arg(QLatin1String(ToolVersion)), Success};
    if (first == QLatin1String("--version") || first == QLatin1String("-v")) {
        return version;
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
    if (Given(parser, VersionOption)) {
        return version;
    }
    if (info->command == Command::Fields) {
        return ReadFields(parser, hint);
    }
    Request request;
    if (info->command == Command::Program && Given(parser, RecipeOption)) {
        // The recipe's options go after the line's, which leave the recipe's out.
        QString why;
        const std::optional<production::Recipe> recipe =
            production::ReadRecipe(ValueOf(parser, RecipeOption), &why);
        if (!recipe) {
            return Usage(why, hint);
        }
        QStringList more;
        for (const production::RecipeEntry& entry : recipe->entries) {
            const QList<QCommandLineOption> options = OptionsOf(info->command);
            const auto option = std::find_if(options.begin(), options.end(), [&](const auto& o) {
                return o.names().last() == entry.key;
            });
            if (option == options.end() || Given(parser, *option) ||
                entry.value == QLatin1String("false")) {
                continue; // the line's own wins
            }
            more << QStringLiteral("--") + entry.key;
            if (!production::RecipeSwitch(entry.key)) {
                more << entry.value;
            }
        }
        if (!parser.parse(QStringList{QStringLiteral("tms370")} + arguments.mid(1) + more)) {
            return Usage(QStringLiteral("recipe %1: %2").arg(recipe->path, parser.errorText()),
                         hint);
        }
        request.recipe = recipe->name;
        request.recipeSha256 = recipe->sha256;
    }
    if (!parser.positionalArguments().isEmpty()) {
        return Usage(
            QStringLiteral("unexpected argument '%1'").arg(parser.positionalArguments().first()),
            hint);
    }
    request.command = info->command;
    if (info->command == Command::Ports && Given(parser, ListFormatOption)) {
        const QString format = ValueOf(parser, ListFormatOption).trimmed().toLower();
        if (format != QLatin1String("table") && format != QLatin1String("json")) {
            return Usage(QStringLiteral("unknown format '%1'; give table or json")
                             .arg(ValueOf(parser, ListFormatOption)),
                         hint);
        }
        request.listFormat = format;
    }
    if (info->command == Command::Devices || info->command == Command::Ports) {
        return {request, QString(), Success};
    }
    request.journal = ValueOf(parser, JournalOption);
    if (Given(parser, StoreTimeoutOption)) {
        bool ok = false;
        request.storeTimeout = ValueOf(parser, StoreTimeoutOption).toInt(&ok);
        if (!ok || request.storeTimeout < 1) {
            return Usage(QStringLiteral("--store-timeout takes whole seconds, at least 1"), hint);
        }
    }
    if (info->command == Command::Journal) {
        return ReadListing(parser, request, hint);
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
        return UnknownDevice(ValueOf(parser, DeviceOption));
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
    request.force = Given(parser, ForceOption);
    request.noVerify = Given(parser, NoVerifyOption);
    request.blankCheck = Given(parser, BlankOption) || Given(parser, EraseVerifyOption);
    if (request.blankCheck && !request.file.isEmpty()) {
        return Usage(QStringLiteral("--blank checks for FFh: it cannot go with -i FILE"), hint);
    }
    request.fast = Given(parser, FastOption);
    request.quiet = Given(parser, QuietOption);
    request.trace = ValueOf(parser, TraceOption);
    if (info->command == Command::Program) {
        ParsedLine line = ReadSerial(parser, request, hint);
        return line.request ? ReadPatches(parser, *line.request, hint) : line;
    }
    return {request, QString(), Success};
}

} // namespace cli
