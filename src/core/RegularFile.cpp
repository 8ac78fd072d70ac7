#include "RegularFile.h"

#include "FileErrors.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#if defined(Q_OS_UNIX)
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace core {

namespace {

QString Tr(const char* text) {
    return QCoreApplication::translate("RegularFile", text);
}

} // namespace

QString OpenRegularFile(QFile& file, const QString& path, bool* special) {
    if (special) {
        *special = false;
    }
#if defined(Q_OS_UNIX)
    // Opened without waiting (a pipe would block until a writer came), then looked at.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return SystemReason(errno);
    }
    struct stat st {};
    QString why;
    if (::fstat(fd, &st) != 0) {
        why = SystemReason(errno);
    } else if (!S_ISREG(st.st_mode)) {
        why = S_ISDIR(st.st_mode)    ? Tr("it is a folder, not a file")
              : S_ISFIFO(st.st_mode) ? Tr("it is a pipe (FIFO), not a file")
              : S_ISSOCK(st.st_mode) ? Tr("it is a socket, not a file")
                                     : Tr("it is a device, not a file");
        if (special) {
            *special = true;
        }
    } else if (::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
        why = SystemReason(errno);
    }
    if (!why.isEmpty()) {
        ::close(fd);
        return why;
    }
    const auto open = [&] {
        return file.open(fd, QIODevice::ReadOnly | QIODevice::Unbuffered,
                         QFileDevice::AutoCloseHandle);
    };
    if (!FileCall(file, open, &why)) {
        ::close(fd);
        return why;
    }
    return QString();
#else
    file.setFileName(path);
    if (QFileInfo::exists(path) && !QFileInfo(path).isFile()) {
        if (special) {
            *special = true;
        }
        return Tr("it is not a file");
    }
    QString why;
    const auto open = [&] { return file.open(QIODevice::ReadOnly | QIODevice::Unbuffered); };
    FileCall(file, open, &why);
    return why;
#endif
}

} // namespace core
