#pragma once

#include <QString>

// The programmer's words for what an operation did, shared by the front ends so the window
// and the command line say the same thing.
namespace core::OperationWords {
inline const QString NotSupported = QStringLiteral("Command not support TMS374C003; TMS374C013");
inline const QString RestartProgram = QStringLiteral("ERROR. RESTART PROGRAM");
inline const QString CheckPort =
    QStringLiteral("Error Comm: Check Port Number/Cable/Turn ON Power Supply");
inline const QString VerifyOK = QStringLiteral("Verify OK");
inline const QString VerifyError = QStringLiteral("Verify ERROR");
inline const QString VerifyIncomplete =
    QStringLiteral("Verify incomplete: only %1 of %2 answers were received from the adapter. "
                   "Check the adapter and its power supply, then verify again.");
inline const QString ReadBackIncomplete =
    QStringLiteral("Verify incomplete: only %1 of %2 bytes were read back from the adapter. "
                   "Check the adapter and its power supply, then verify again.");
inline const QString PartlyWritten =
    QStringLiteral("The chip may be partly written: erase it and program it again.");
inline const QString ProgrammedAndVerified = QStringLiteral("Programmed and verified.");
inline const QString VerifyErrorAt =
    QStringLiteral("Verify ERROR at %1h: wrote %2h, read %3h (%4).");
inline const QString VerifyAgainstErrorAt =
    QStringLiteral("Verify ERROR at %1h: expected %2h, found %3h (%4).");
inline const QString VerifyMatchesFile = QStringLiteral("Verify OK: the chip matches %1.");
inline const QString CannotWriteImage =
    QStringLiteral("Could not write the image file \"%1\": %2.\nChoose a file in a folder you "
                   "may write to, then try again.");
inline const QString CannotReadImage =
    QStringLiteral("Could not read the image file \"%1\": %2.\nChoose an image file (at most "
                   "64 KiB) that you may read, then try again.");
inline const QString CannotUseImage =
    QStringLiteral("The image file \"%1\" cannot be programmed: %2.\nCorrect the file or "
                   "choose another, then try again.");
} // namespace core::OperationWords
