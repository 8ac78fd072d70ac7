#pragma once

#include "Outcome.h"
#include "formats/ImageFormat.h"

#include <QString>
#include <QStringList>

// How an ended operation is told to the user, in parts each front end arranges its own way:
// the window as its message boxes and status bar, the command line as stdout, stderr and an
// exit code. The program's own message texts are kept where it has them.
namespace core {

enum class Severity {
    Success,   // it did what was asked
    Cancelled, // the user stopped it before anything changed
    Warning,   // it ran, and the answer is not the one hoped for (a mismatch, a short answer)
    Failure,   // it could not run or was broken off
};

// What the front end knows of the operation beyond its outcome.
struct OutcomeContext {
    const Family* family = nullptr;
    QString device;                        // the chip, "TMS370C756A"
    QString file;                          // the image file as the user named it, "" for none
    bool fileExisted = false;              // READ: the file was there before
    ImageFormat format = ImageFormat::Raw; // of that file
    bool afterProgram = false;             // a read-back that follows a PROGRAM
    // PROGRAM without a read-back: why not ("Verify After Program is off").
    QString notReadBack;
};

struct OutcomeWording {
    Severity severity = Severity::Success;
    // The message: the program's own text where it has one ("Verify OK", "Error Comm: ...").
    QString headline;
    // A compare's differences, "1F25h  expected 3Ch  found 00h", the first few, then
    // "and 5 more".
    QStringList differences;
    // What became of the image file: "chip.bin was kept as it was"; "" when nothing changed
    // hands or the summary says it.
    QString fileState;
    // After the chip was told to change and the operation failed: its contents are unknown.
    QString chipState;
    // Of the block read, sent or compared: "CRC-32 1A2B3C4D, sum 3F2Ah"; "" when none.
    QString checksum;
    // One line of what happened, for a status bar or stdout: "READ: 512 bytes from
    // TMS370C756A saved to chip.ihx (Intel HEX), CRC-32 1A2B3C4D, sum 3F2Ah".
    QString summary;

    // The headline with the file's and the chip's state under it, as a message box shows it.
    QString Message() const;
};

OutcomeWording Describe(const Outcome& outcome, const OutcomeContext& context);

// PROGRAM, CLEAR WPO and BULK ERASE change the chip; READ and VERIFY only look at it.
bool ChangesChip(Operation operation);

// How a port's error number is told: the message of the serial port control's number
// (8000..8021), "ERROR. RESTART PROGRAM" for a call the port could not take (5), the
// system's own words for a failure none of those describes; style 16 or 48.
struct PortErrorText {
    QString text; // "" for a number that shows nothing (8017, unknown numbers)
    int style = 48;
};
PortErrorText DescribePortError(int number, const QString& description);

// "Verify ERROR at 1F25h: wrote 3Ch, read 00h (3 bytes differ)." after a PROGRAM, or
// "...: expected 3Ch, found 00h (...)." against a file.
QString FirstDifference(const Outcome& outcome, const Family& family, bool afterProgram);

// The chip read back against FFh, after BULK ERASE (which the adapter does not answer) or on
// its own, when the compare ran (Done or Mismatch): "Erased and blank: 512 bytes FFh", "Not
// blank: 1E05h holds 05h; 1 of 512 bytes is not FFh".
QString BlankCheckText(const Outcome& outcome, const Family& family, bool afterErase);

} // namespace core
