#include "ImageFile.h"

#include "FileErrors.h"
#include "RegularFile.h"

#include <QFile>
#include <QFileInfo>

namespace core {

namespace {

QString NotAFile() {
    return QStringLiteral("it is not a regular file (a folder, a FIFO or a device)");
}

QString TooLarge(qint64 size, qint64 maxSize) {
    return QStringLiteral("it is %1 bytes long, more than the %2 bytes an image file may hold")
        .arg(size)
        .arg(maxSize);
}

} // namespace

std::optional<QByteArray> ReadImageFile(const QString& path, qint64 maxSize, QString* error) {
    QFile file;
    const QString why = OpenRegularFile(file, path);
    if (!why.isEmpty()) {
        *error = why;
        return std::nullopt;
    }
    if (file.size() > maxSize) {
        *error = TooLarge(file.size(), maxSize);
        return std::nullopt;
    }
    // One more byte than allowed tells a file that grew since it was looked at.
    QByteArray bytes;
    const auto read = [&] {
        bytes = file.read(maxSize + 1);
        return file.error() == QFileDevice::NoError;
    };
    if (!FileCall(file, read, error)) {
        return std::nullopt;
    }
    if (bytes.size() > maxSize) {
        *error = TooLarge(bytes.size(), maxSize);
        return std::nullopt;
    }
    return bytes;
}

bool IsReplaceableFile(const QString& path, QString* error) {
    const QFileInfo info(path);
    if (info.isSymLink() && !info.exists()) {
        *error = QStringLiteral("it is a link to a file that does not exist");
        return false;
    }
    if (info.exists() && !info.isFile()) {
        *error = NotAFile();
        return false;
    }
    return true;
}

} // namespace core
