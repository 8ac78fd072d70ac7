#include "ImageFile.h"

#include <QFile>
#include <QFileInfo>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

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
#ifdef Q_OS_UNIX
    // Opened without waiting (a FIFO would block until a writer came), then judged by what
    // was opened, so nothing can be swapped in between the look and the read.
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        *error = QString::fromLocal8Bit(std::strerror(errno));
        return std::nullopt;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        *error = NotAFile();
        return std::nullopt;
    }
    if (info.st_size > maxSize) {
        ::close(fd);
        *error = TooLarge(info.st_size, maxSize);
        return std::nullopt;
    }
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        *error = file.errorString();
        return std::nullopt;
    }
#else
    const QFileInfo info(path);
    if (info.exists() && !info.isFile()) {
        *error = NotAFile();
        return std::nullopt;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = file.errorString();
        return std::nullopt;
    }
    if (file.size() > maxSize) {
        *error = TooLarge(file.size(), maxSize);
        return std::nullopt;
    }
#endif
    // One more byte than allowed tells a file that grew since it was looked at.
    QByteArray bytes = file.read(maxSize + 1);
    if (file.error() != QFileDevice::NoError) {
        *error = file.errorString();
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
