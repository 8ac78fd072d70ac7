#pragma once

#include "DeviceCatalogue.h"

#include <QByteArray>
#include <QList>
#include <QString>

namespace core {

// How an operation ended.
enum class Status {
    Done,        // the whole exchange ran: READ got the block, VERIFY every mark clean
    Mismatch,    // VERIFY: the adapter marked a byte (101); a host compare found differences
    NoAnswer,    // READ, VERIFY: nothing came back from the adapter
    ShortAnswer, // READ, VERIFY: fewer bytes than a block came back
    Cancelled,   // the user cancelled before anything irreversible happened
    Aborted,     // stopped by force at a wait (the program is closing, a second Ctrl+C)
    Refused,     // the device's family does not serve the operation
    PortError,   // the serial port failed: errorNumber and message
    FileError,   // the image file could not be used: path and message
};

// One byte where the chip differs from the image.
struct Difference {
    int offset; // from the block's first byte
    unsigned char expected;
    unsigned char found;
};

struct Outcome {
    Operation operation = Operation::Read;
    Status status = Status::Done;
    int blockSize = 0;
    // READ, VERIFY: bytes or marks received; PROGRAM: data bytes sent.
    int received = 0;
    // VERIFY: the byte (from 0) the adapter marked as differing.
    int mismatchAt = -1;
    // PortError: the port's error number (5 for a call the port could not take).
    int errorNumber = 0;
    // PortError, FileError: the reason, in words that can follow a file or port name.
    QString message;
    // The image file, when there is one.
    QString path;
    // FileError: it happened while writing the file (READ) rather than reading it.
    bool writingFile = false;
    // FileError: the file was read, but its records cannot be programmed (message names the
    // line and the fault).
    bool malformedImage = false;
    // READ: the target file now holds the bytes received.
    bool fileWritten = false;
    // READ: the target file existed before the read.
    bool targetExisted = false;
    // PROGRAM, CLEAR WPO, BULK ERASE: the chip was told to change ("c" or the command letter
    // went out), so a failure leaves its contents unknown.
    bool chipWritten = false;
    // READ: the bytes received; PROGRAM: the block sent.
    QByteArray data;
    // A host-side compare: how many bytes differ, and the first few.
    int differenceCount = 0;
    QList<Difference> differences;
    double elapsedMs = 0;

    bool Succeeded() const { return status == Status::Done; }
};

// The differences of found against expected, over expected's length (a missing byte of found
// differs), keeping the first `keep`.
void CompareBlocks(const QByteArray& expected, const QByteArray& found, Outcome& outcome,
                   int keep = 8);

} // namespace core
