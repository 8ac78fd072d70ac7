#include "FileReplace.h"

#include "FileErrors.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#if defined(Q_OS_UNIX)
#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace core {

ReplaceCheck InspectTarget(const QString& path) {
    ReplaceCheck check;
    check.path = path;
#if defined(Q_OS_UNIX)
    const QByteArray name = QFile::encodeName(path);
    struct stat st {};
    if (::stat(name.constData(), &st) != 0) {
        return check; // nothing to keep: QSaveFile tells why it cannot write there, if it cannot
    }
    check.exists = true;
    check.mode = st.st_mode & 07777;
    check.uid = st.st_uid;
    check.gid = st.st_gid;
    check.readOnly = (st.st_mode & S_IWUSR) == 0;
    check.writable = ::access(name.constData(), W_OK) == 0;
#else
    const QFileInfo info(path);
    check.exists = info.exists();
    check.readOnly = check.exists && !info.permission(QFileDevice::WriteOwner);
    check.writable = check.exists && info.isWritable();
#endif
    return check;
}

bool KeepAttributes(QSaveFile& file, const ReplaceCheck& target, QString* why) {
    if (!target.exists) {
        return true;
    }
#if defined(Q_OS_UNIX)
    const int fd = file.handle();
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0) {
        *why = QStringLiteral("the new file is not open");
        return false;
    }
    // Ownership first: a change of owner clears the set-id bits the mode then restores. Only
    // root may give a file away, and only a member of the group may give it that group; the
    // system's refusal leaves the file this process's own, as any file it makes.
    if (st.st_uid != target.uid) {
        if (::fchown(fd, target.uid, target.gid) == 0) {
            st.st_gid = target.gid;
        } else if (errno != EPERM) {
            *why = QStringLiteral("its owner could not be kept: %1").arg(SystemReason(errno));
            return false;
        }
    }
    if (st.st_gid != target.gid && ::fchown(fd, uid_t(-1), target.gid) != 0 && errno != EPERM) {
        *why = QStringLiteral("its group could not be kept: %1").arg(SystemReason(errno));
        return false;
    }
    if (::fchmod(fd, mode_t(target.mode)) != 0) {
        *why = QStringLiteral("its mode could not be kept: %1").arg(SystemReason(errno));
        return false;
    }
#else
    Q_UNUSED(file);
    Q_UNUSED(why);
#endif
    return true;
}

bool OpenReplacement(QSaveFile& file, const ReplaceCheck& target, bool replaceReadOnly,
                     QString* why, QIODevice::OpenMode mode) {
    file.setFileName(target.path);
    if (target.readOnly && !replaceReadOnly) {
        *why = QStringLiteral("it is read-only");
        return false;
    }
    bool lent = false;
#if defined(Q_OS_UNIX)
    // QSaveFile will not open over a file this process may not write. A read-only file the
    // caller chose to replace is made writable by its owner for the moment of the open, then
    // set back: what takes its place gets the old mode below.
    const QByteArray name = QFile::encodeName(target.path);
    if (target.exists && target.readOnly && !target.writable) {
        lent = ::chmod(name.constData(), mode_t(target.mode | S_IWUSR)) == 0;
    }
#endif
    const auto open = [&] { return file.open(mode); };
    const bool opened = FileCall(file, open, why);
#if defined(Q_OS_UNIX)
    if (lent) {
        ::chmod(name.constData(), mode_t(target.mode));
    }
#endif
    if (!opened) {
        return false;
    }
    if (!KeepAttributes(file, target, why)) {
        file.cancelWriting();
        file.commit(); // closes it and removes what was made
        return false;
    }
    return true;
}

QString ReplaceReadOnlyQuestion(const QString& path) {
    return QStringLiteral("%1 is read-only. Replace it anyway?").arg(QFileInfo(path).fileName());
}

} // namespace core
