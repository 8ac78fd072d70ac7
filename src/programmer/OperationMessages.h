#pragma once

#include <QString>

// The operations' words to the user.
namespace OperationMessages {
inline const QString SelectDevice = QStringLiteral("Select Device before start operation");
inline const QString NotSupported = QStringLiteral("Command not support TMS374C003; TMS374C013");
inline const QString RestartProgram = QStringLiteral("ERROR. RESTART PROGRAM");
inline const QString CheckPort =
    QStringLiteral("Error Comm: Check Port Number/Cable/Turn ON Power Supply");
inline const QString VerifyOK = QStringLiteral("Verify OK");
inline const QString VerifyError = QStringLiteral("Verify ERROR");
inline const QString SizeWarning512 =
    QStringLiteral("Warning: uploading buffer size <> 512 bytes!");
inline const QString SizeWarning256 =
    QStringLiteral("Warning: uploading buffer size <> 256 bytes!");
inline const QString VerifyIncomplete =
    QStringLiteral("Verify incomplete: only %1 of %2 answers were received from the adapter. "
                   "Check the adapter and its power supply, then verify again.");
inline const QString ReadBackIncomplete =
    QStringLiteral("Verify incomplete: only %1 of %2 bytes were read back from the adapter. "
                   "Check the adapter and its power supply, then verify again.");
inline const QString ShortRead =
    QStringLiteral("Only %1 of %2 bytes were received from the adapter. The file \"%3\" holds "
                   "the %1 bytes received.\nCheck the adapter and its power supply, then read "
                   "again.");
inline const QString ReplaceWithShortRead =
    QStringLiteral("Only %1 of %2 bytes were received from the adapter. Replace \"%3\" with the "
                   "%1 bytes received? No keeps the file as it was.");
inline const QString PartlyWritten =
    QStringLiteral("The chip may be partly written: erase it and program it again.");
inline const QString CloseWhileProgramming =
    QStringLiteral("The chip is being programmed. Closing now leaves it partly written. Close "
                   "anyway?");
inline const QString ProgrammedAndVerified = QStringLiteral("Programmed and verified.");
inline const QString VerifyErrorAt =
    QStringLiteral("Verify ERROR at %1h: wrote %2h, read %3h (%4).");
inline const QString CannotWriteImage =
    QStringLiteral("Could not write the image file \"%1\": %2.\nChoose a file in a folder you "
                   "may write to, then try again.");
inline const QString CannotReadImage =
    QStringLiteral("Could not read the image file \"%1\": %2.\nChoose an image file (at most "
                   "64 KiB) that you may read, then try again.");
} // namespace OperationMessages
