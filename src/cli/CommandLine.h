#pragma once

#include "core/DeviceCatalogue.h"
#include "formats/ImageFormat.h"
#include "production/BlockPatches.h"
#include "production/Journal.h"
#include "production/SerialNumbers.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <optional>

namespace cli {

inline constexpr char ToolVersion[] = TMS370_VERSION;

enum class Command { Devices, Ports, Read, Program, Verify, Erase, ClearWpo, Journal, Fields };

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
    bool force = false; // read: replace a read-only -o FILE
    bool noVerify = false;
    bool repeat = false;     // program: chip after chip, each after a line on stdin
    QString recipe;          // program --recipe: the recipe file's name; fields: its path
    QString recipeSha256;    // and its SHA-256
    bool blankCheck = false; // erase --verify, verify --blank: the chip read back must be FFh
    bool fast = false;
    bool quiet = false;
    QString trace;

    // A production run: the journal (else the setting Production/Journal), and for PROGRAM the
    // serial number patched into each chip.
    QString journal;
    std::optional<core::SerialField> serial;
    core::SeriesRequest series;
    int leaseSeconds = 120;
    int storeTimeout = 0; // seconds; 0: the setting Production/StoreTimeout
    // PROGRAM: the chip's bytes kept, and checksum fields written after every other patch.
    production::BlockPatches patches;

    // `tms370 journal`: which rows; how `ports` and `journal` write what they list.
    QString seriesFilter; // "" for every series
    QDateTime since;      // invalid for all time
    QString listFormat = QStringLiteral("table");
    bool summary = false;
    bool held = false;                  // the numbers that wait for a person
    std::optional<qint64> settleNumber; // a person's word on one of them
    bool settleUsed = false;
};

// A command line read: the job, or a text to print (help and version on stdout, a usage
// error on stderr) and the exit code that goes with it.
struct ParsedLine {
    std::optional<Request> request;
    QString text;
    int exitCode = 0;
};

ParsedLine ParseCommandLine(const QStringList& arguments);

// The device named: a chip, or a family letter; false for neither.
bool ReadDevice(const QString& text, Request& request);

// What `tms370 --help` prints.
QString MainHelp();

} // namespace cli
