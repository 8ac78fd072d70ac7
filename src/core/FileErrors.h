#pragma once

#include <QString>
#include <cerrno>
#include <functional>

class QFileDevice;

namespace core {

// Why a call on file failed, in the system's words: Qt's errorString() unless it is empty or
// "Unknown error", else the system's text for errorNumber. Qt drops errno on some paths (a
// short write that met a full disk, a commit after a failed write), so errno must be taken at
// the failure: the default argument reads it where the call is written, which must be straight
// after the call that failed.
QString FileErrorReason(const QFileDevice& file, int errorNumber = errno);

// Runs call, one operation on file that says whether it succeeded, with errno cleared first so
// that what errno holds afterwards is that call's own; on failure sets *why and returns false.
bool FileCall(const QFileDevice& file, const std::function<bool()>& call, QString* why);

// The system's text for an errno value ("No space left on device").
QString SystemReason(int errorNumber);

} // namespace core
