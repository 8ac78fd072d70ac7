#pragma once

#include "core/OperationWords.h"

#include <QString>

// The operations' words to the user: those the command line shares, and the window's own.
namespace OperationMessages {
using namespace core::OperationWords;

inline const QString SelectDevice = QStringLiteral("Select Device before start operation");
inline const QString SizeWarning512 =
    QStringLiteral("Warning: uploading buffer size <> 512 bytes!");
inline const QString SizeWarning256 =
    QStringLiteral("Warning: uploading buffer size <> 256 bytes!");
inline const QString ShortRead =
    QStringLiteral("Only %1 of %2 bytes were received from the adapter. The file \"%3\" holds "
                   "the %1 bytes received.\nCheck the adapter and its power supply, then read "
                   "again.");
inline const QString ReplaceWithShortRead =
    QStringLiteral("Only %1 of %2 bytes were received from the adapter. Replace \"%3\" with the "
                   "%1 bytes received? No keeps the file as it was.");
inline const QString CloseWhileProgramming =
    QStringLiteral("The chip is being programmed. Closing now leaves it partly written. Close "
                   "anyway?");
} // namespace OperationMessages
