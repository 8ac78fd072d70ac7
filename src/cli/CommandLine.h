#pragma once

#include "core/DeviceCatalogue.h"
#include "core/ImageFormats.h"

#include <QString>
#include <QStringList>
#include <optional>

namespace cli {

inline constexpr char ToolVersion[] = TMS370_VERSION;

enum class Command { Devices, Ports, Read, Program, Verify, Erase, ClearWpo };

// One job, as the command line gives it.
struct Request {
    Command command = Command::Devices;
    QString port;
    const core::Family* family = nullptr;
    QString deviceName; // the chip, or "family x" when only the letter was given
    QString file;       // -o for read, -i for program and verify
    std::optional<core::ImageFormat> format;
    int recordBytes = 16;
    bool pad = false;
    bool noVerify = false;
    bool fast = false;
    bool quiet = false;
    QString trace;
    bool json = false; // ports: --format json
};

// A command line read: the job, or a text to print (help and version on stdout, a usage
// error on stderr) and the exit code that goes with it.
struct ParsedLine {
    std::optional<Request> request;
    QString text;
    int exitCode = 0;
};

ParsedLine ParseCommandLine(const QStringList& arguments);

// What `tms370 --help` prints.
QString MainHelp();

} // namespace cli
