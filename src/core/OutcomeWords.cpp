#include "OutcomeWords.h"

#include "Checksums.h"
#include "OperationWords.h"
#include "SerialMessages.h"
#include "formats/ImageRecords.h"
#include "platform/RuntimeError.h"

#include <QFileInfo>

namespace core {

namespace {

using namespace OperationWords;

QString DifferCount(int count) {
    return count == 1 ? QStringLiteral("1 byte differs")
                      : QStringLiteral("%1 bytes differ").arg(count);
}

QString Hex(int value, int digits) {
    return QStringLiteral("%1").arg(value, digits, 16, QLatin1Char('0')).toUpper();
}

QString WithChecksum(const QString& line, const QString& checksum) {
    return checksum.isEmpty() ? line : line + QStringLiteral(", ") + checksum;
}

// The words for the file an unsuccessful READ leaves behind.
QString KeptFile(const Outcome& outcome, const OutcomeContext& context) {
    const QString name = context.file.isEmpty() ? outcome.path : context.file;
    if (name.isEmpty() || outcome.fileWritten) {
        return QString();
    }
    const bool existed = outcome.targetExisted || context.fileExisted;
    return existed ? QStringLiteral("%1 was kept as it was").arg(name)
                   : QStringLiteral("%1 was not written").arg(name);
}

} // namespace

QString OutcomeWording::Message() const {
    QString text = headline;
    if (!fileState.isEmpty()) {
        text += QLatin1Char('\n') + fileState + QLatin1Char('.');
    }
    if (!chipState.isEmpty()) {
        text += QLatin1Char('\n') + chipState;
    }
    return text;
}

bool ChangesChip(Operation operation) {
    return operation == Operation::Program || operation == Operation::ClearWpo ||
           operation == Operation::BulkErase;
}

PortErrorText DescribePortError(int number, const QString& description) {
    if (number == platform::ErrorNumber::IllegalCall) {
        return {RestartProgram, 16};
    }
    if (const SerialMessage* message = FindSerialMessage(number)) {
        return {QLatin1String(message->text), message->style};
    }
    if (number == platform::ErrorNumber::SerialSystemError) {
        return {description, 48};
    }
    return {QString(), 48};
}

QString FirstDifference(const Outcome& outcome, const Family& family, bool afterProgram) {
    if (outcome.differences.isEmpty()) {
        return VerifyError;
    }
    const Difference& first = outcome.differences.first();
    return (afterProgram ? VerifyErrorAt : VerifyAgainstErrorAt)
        .arg(Hex(family.eepromFirst + first.offset, 4), Hex(first.expected, 2), Hex(first.found, 2),
             DifferCount(outcome.differenceCount));
}

QString BlankCheckText(const Outcome& outcome, const Family& family, bool afterErase) {
    const int n = family.blockSize;
    if (outcome.status == Status::Done) {
        return QStringLiteral("%1: %2 bytes FFh")
            .arg(afterErase ? QStringLiteral("Erased and blank") : QStringLiteral("Blank"))
            .arg(n);
    }
    const Difference first = outcome.differences.value(0, Difference{0, 0xFF, 0xFF});
    return QStringLiteral("%1: %2h holds %3h; %4 of %5 %6 not FFh")
        .arg(afterErase ? QStringLiteral("Erased but not blank") : QStringLiteral("Not blank"),
             Hex(family.eepromFirst + first.offset, 4), Hex(first.found, 2))
        .arg(outcome.differenceCount)
        .arg(n)
        .arg(outcome.differenceCount == 1 ? QStringLiteral("bytes is")
                                          : QStringLiteral("bytes are"));
}

OutcomeWording Describe(const Outcome& outcome, const OutcomeContext& context) {
    OutcomeWording w;
    const Operation op = outcome.operation;
    const QString name = OperationName(op);
    const int first = context.family ? context.family->eepromFirst : 0;
    const QString file = context.file.isEmpty() ? outcome.path : context.file;
    // The file as the front end names it (a path typed, a name picked), else by its name.
    const QString fileName =
        context.file.isEmpty() ? QFileInfo(outcome.path).fileName() : context.file;
    // A compare on the host: VERIFY against a file, or the read-back after a PROGRAM.
    const bool hostCompare = op == Operation::Verify && (context.afterProgram || !file.isEmpty());
    const bool readLike = op == Operation::Read || hostCompare;
    if (outcome.chipWritten && !outcome.Succeeded()) {
        w.chipState = PartlyWritten;
    }
    if (op == Operation::Read) {
        w.fileState = KeptFile(outcome, context);
    }

    switch (outcome.status) {
    case Status::Done:
        switch (op) {
        case Operation::Read:
            w.checksum = ChecksumText(outcome.data);
            w.summary = file.isEmpty()
                            ? QStringLiteral("READ: %1 bytes from %2")
                                  .arg(outcome.received)
                                  .arg(context.device)
                            : QStringLiteral("READ: %1 bytes from %2 saved to %3 (%4)")
                                  .arg(outcome.received)
                                  .arg(context.device, fileName, FormatWords(context.format));
            break;
        case Operation::Program:
            w.checksum = ChecksumText(outcome.data);
            w.summary = QStringLiteral("PROGRAM: %1 sent to %2; not read back (%3)")
                            .arg(fileName, context.device, context.notReadBack);
            break;
        case Operation::Verify:
            if (context.afterProgram) {
                w.checksum = ChecksumText(outcome.data);
                w.headline = ProgrammedAndVerified;
                w.summary = QStringLiteral("PROGRAM: %1 programmed into %2 and verified")
                                .arg(fileName, context.device);
            } else if (hostCompare) {
                w.checksum = ChecksumText(outcome.data);
                w.headline = VerifyMatchesFile.arg(fileName);
                w.summary = QStringLiteral("VERIFY: %1 matches %2 (%3 bytes)")
                                .arg(context.device, fileName)
                                .arg(outcome.blockSize);
            } else {
                w.headline = VerifyOK;
                w.summary =
                    QStringLiteral("VERIFY: %1 (the adapter found every byte equal)").arg(VerifyOK);
            }
            break;
        case Operation::ClearWpo:
            w.summary = QStringLiteral("CLEAR WPO sent (the adapter does not confirm it)");
            break;
        case Operation::BulkErase:
            w.summary = QStringLiteral("BULK ERASE sent (the adapter does not confirm it)");
            break;
        }
        if (w.headline.isEmpty()) {
            w.headline = w.summary;
        }
        w.summary = WithChecksum(w.summary, w.checksum);
        return w;

    case Status::Mismatch:
        w.severity = Severity::Warning;
        if (hostCompare && context.family) {
            w.checksum = ChecksumText(outcome.data);
            w.headline = FirstDifference(outcome, *context.family, context.afterProgram);
            for (const Difference& d : outcome.differences) {
                w.differences << QStringLiteral("%1  expected %2  found %3")
                                     .arg(HexAddress(quint32(first + d.offset)),
                                          HexByte(d.expected), HexByte(d.found));
            }
            if (outcome.differenceCount > outcome.differences.size()) {
                w.differences << QStringLiteral("and %1 more")
                                     .arg(outcome.differenceCount - outcome.differences.size());
            }
            w.summary = WithChecksum(
                QStringLiteral("%1: %2 of %3 bytes differ from %4")
                    .arg(context.afterProgram ? QStringLiteral("PROGRAM read-back") : name)
                    .arg(outcome.differenceCount)
                    .arg(outcome.blockSize)
                    .arg(fileName),
                w.checksum);
        } else {
            w.headline = VerifyError;
            w.summary = QStringLiteral("VERIFY: %1; the adapter marks the byte at %2")
                            .arg(VerifyError, HexAddress(quint32(first + outcome.mismatchAt)));
        }
        return w;

    case Status::NoAnswer:
        w.severity = Severity::Failure;
        w.headline = CheckPort;
        w.summary = QStringLiteral("%1: no answer from the adapter").arg(name);
        break;

    case Status::ShortAnswer:
        w.severity = Severity::Warning;
        if (op == Operation::Read) {
            w.headline = QStringLiteral("Only %1 of %2 bytes were received from the adapter.")
                             .arg(outcome.received)
                             .arg(outcome.blockSize);
            w.summary = QStringLiteral("READ: only %1 of %2 bytes were received")
                            .arg(outcome.received)
                            .arg(outcome.blockSize);
            if (outcome.fileWritten) {
                w.summary += QStringLiteral("; %1 holds them").arg(fileName);
            }
        } else {
            w.headline = (readLike ? ReadBackIncomplete : VerifyIncomplete)
                             .arg(outcome.received)
                             .arg(outcome.blockSize);
            w.summary = QStringLiteral("%1: only %2 of %3 %4 came from the adapter")
                            .arg(context.afterProgram ? QStringLiteral("PROGRAM read-back") : name)
                            .arg(outcome.received)
                            .arg(outcome.blockSize)
                            .arg(readLike ? QStringLiteral("bytes") : QStringLiteral("answers"));
        }
        break;

    case Status::Cancelled:
        w.severity = Severity::Cancelled;
        w.summary = QStringLiteral("%1 cancelled").arg(name);
        if (ChangesChip(op) && !outcome.chipWritten) {
            w.summary += QStringLiteral("; the chip was not changed");
        }
        w.headline = w.summary;
        break;

    case Status::Aborted:
        w.severity = Severity::Failure;
        w.summary = outcome.chipWritten
                        ? QStringLiteral("%1 stopped; the chip's contents are now unknown: erase "
                                         "it and program it again")
                              .arg(name)
                        : QStringLiteral("%1 stopped").arg(name);
        w.headline = w.summary;
        w.chipState.clear(); // said in the summary
        break;

    case Status::Refused:
        w.severity = Severity::Failure;
        w.headline = NotSupported;
        w.summary = QStringLiteral("%1: %2").arg(name, NotSupported);
        break;

    case Status::PortError: {
        w.severity = Severity::Failure;
        const PortErrorText port = DescribePortError(outcome.errorNumber, outcome.message);
        w.headline = port.text;
        w.summary =
            QStringLiteral("%1 failed: %2")
                .arg(name,
                     port.text.isEmpty()
                         ? QStringLiteral("the port failed (error %1)").arg(outcome.errorNumber)
                         : port.text);
        break;
    }

    case Status::FileError:
        w.severity = Severity::Failure;
        if (outcome.malformedImage) {
            w.headline = CannotUseImage.arg(outcome.path, outcome.message);
            w.summary = QStringLiteral("%1 refused: %2: %3")
                            .arg(name, QFileInfo(outcome.path).fileName(), outcome.message);
        } else {
            w.headline = (outcome.writingFile ? CannotWriteImage : CannotReadImage)
                             .arg(outcome.path, outcome.message);
            w.summary =
                QStringLiteral("%1 failed: cannot %2 %3: %4")
                    .arg(name,
                         outcome.writingFile ? QStringLiteral("write") : QStringLiteral("read"),
                         QFileInfo(outcome.path).fileName(), outcome.message);
        }
        break;
    }
    if (!w.fileState.isEmpty()) {
        w.summary += QStringLiteral("; ") + w.fileState;
    }
    if (!w.chipState.isEmpty()) {
        w.summary += QStringLiteral("; the chip may be partly written");
    }
    return w;
}

} // namespace core
