#pragma once

#include <QString>

class QFile;

namespace core {

// Opens path for reading, unbuffered, when it is a regular file or a link to one. A pipe or
// a device is never waited on: it is refused at once, like a folder. Returns "" when the
// file is open, else why not ("it is a pipe (FIFO), not a file", or the system's reason);
// special is set when the path names something other than a regular file. (Opened through
// its handle, the file does not know its name: callers name it themselves.)
QString OpenRegularFile(QFile& file, const QString& path, bool* special = nullptr);

} // namespace core
