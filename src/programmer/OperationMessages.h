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
} // namespace OperationMessages
