#include "WorkImage.h"

#include "RecordImage.h"
#include "core/FileErrors.h"
#include "core/FileReplace.h"
#include "platform/RuntimeError.h"

#include <QCoreApplication>
#include <QSaveFile>
#include <algorithm>

#if defined(Q_OS_UNIX)
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#endif

using platform::RuntimeError;
namespace ErrorNumber = platform::ErrorNumber;

namespace {

QString Tr(const char* text) {
    return QCoreApplication::translate("WorkImage", text);
}

// True when the length bytes at offset of file lie wholly in a hole: they read as zeros and
// need not be read. Lets a sparse file of many gigabytes be copied in moments.
bool IsHole(QFileDevice& file, qint64 offset, qint64 length) {
#if defined(Q_OS_UNIX) && defined(SEEK_DATA)
    const int fd = file.handle();
    if (fd < 0) {
        return false;
    }
    const off_t saved = ::lseek(fd, 0, SEEK_CUR);
    if (saved < 0) {
        return false;
    }
    const off_t data = ::lseek(fd, static_cast<off_t>(offset), SEEK_DATA);
    const int error = errno;
    ::lseek(fd, saved, SEEK_SET); // the file device keeps its own idea of the position
    if (data < 0) {
        return error == ENXIO; // no data from offset to the end
    }
    return data >= offset + length;
#else
    Q_UNUSED(file);
    Q_UNUSED(offset);
    Q_UNUSED(length);
    return false;
#endif
}

} // namespace

QString WorkImage::NameOf(const QFileDevice& file) const {
    return file.fileName().isEmpty() ? sourceName_ : file.fileName();
}

void WorkImage::ThrowFileError(const QString& what, const QFileDevice& file) const {
    const QString why = core::FileErrorReason(file); // errno as the failed call left it
    throw RuntimeError(ErrorNumber::PathFileAccess, what.arg(NameOf(file), why));
}

void WorkImage::ThrowShorter(const QFileDevice& file) const {
    throw RuntimeError(ErrorNumber::PathFileAccess,
                       Tr("\"%1\" became shorter while it was being copied.").arg(NameOf(file)));
}

WorkImage::~WorkImage() {
    copying_ = false;
    Close();
}

int WorkImage::ChunkPercent(qint64 i, qint64 n) {
    const qint64 whole = i * 100 / n;
    const qint64 rest = i * 100 % n;
    if (2 * rest > n || (2 * rest == n && whole % 2 != 0)) {
        return static_cast<int>(whole + 1);
    }
    return static_cast<int>(whole);
}

void WorkImage::CopyThroughBuffer(QFileDevice& from, QFileDevice& to, qint64 offset, qint64 size) {
    // Made on first use only: while the system copies, the editor holds no copy buffer. A
    // span of several pieces (what the system's copy was given) goes through it piece by piece.
    buffer_.resize(std::max<qsizetype>(buffer_.size(), ChunkSize));
    if (!from.seek(offset)) {
        ThrowFileError(Tr("Cannot read \"%1\": %2"), from);
    }
    if (!to.seek(offset)) {
        ThrowFileError(Tr("Cannot write \"%1\": %2"), to);
    }
    for (qint64 done = 0; done < size;) {
        const qint64 step = std::min(size - done, ChunkSize);
        qint64 got = 0;
        while (got < step) {
            const qint64 n = from.read(buffer_.data() + got, step - got);
            if (n < 0) {
                ThrowFileError(Tr("Cannot read \"%1\": %2"), from);
            }
            if (n == 0) {
                ThrowShorter(from);
            }
            got += n;
        }
        if (to.write(buffer_.constData(), step) != step) {
            ThrowFileError(Tr("Cannot write \"%1\": %2"), to);
        }
        done += step;
    }
}

void WorkImage::CopyPiece(QFileDevice& from, QFileDevice& to, qint64 offset, qint64 size) {
#if defined(Q_OS_LINUX)
    if (kernelCopy_ && kernelCopyWorks_ && from.handle() >= 0 && to.handle() >= 0) {
        loff_t in = offset;
        loff_t out = offset;
        qint64 left = size;
        while (left > 0) {
            const ssize_t n = ::copy_file_range(from.handle(), &in, to.handle(), &out,
                                                static_cast<size_t>(left), 0);
            if (n > 0) {
                left -= n;
                continue;
            }
            if (n == 0) {
                ThrowShorter(from);
            }
            if (errno == EINTR) {
                continue;
            }
            // These two files cannot be copied inside the system (another file system, an
            // old kernel, a special file): the piece, and the rest, go through the buffer.
            if (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP ||
                errno == EBADF || errno == EPERM) {
                kernelCopyWorks_ = false;
                break;
            }
            throw RuntimeError(
                ErrorNumber::PathFileAccess,
                Tr("Cannot copy \"%1\" to \"%2\": %3")
                    .arg(NameOf(from), NameOf(to), QString::fromLocal8Bit(std::strerror(errno))));
        }
        if (left == 0) {
            return;
        }
    }
#endif
    CopyThroughBuffer(from, to, offset, size);
}

void WorkImage::Copy(QFileDevice& from, QFileDevice& to, qint64 length, bool flushTarget,
                     const Progress& progress) {
    kernelCopyWorks_ = true;
    // The pieces and the progress after each: n whole pieces (i × 100 / n), then the rest
    // (100); a file of one piece or less is one piece.
    const qint64 whole = length > ChunkSize ? length / ChunkSize : 0;
    const qint64 pieces = whole + (length - whole * ChunkSize > 0 || whole == 0 ? 1 : 0);
    const auto pieceSize = [&](qint64 i) {
        return i < whole ? ChunkSize : length - whole * ChunkSize;
    };
    const auto percent = [&](qint64 i) { return i < whole ? ChunkPercent(i + 1, whole) : 100; };

    // The system copies several pieces a call (a few calls of megabytes are much faster than
    // many small ones); progress is still told piece by piece. A piece that is a hole in the
    // source stays a hole in the copy.
    const qint64 group = kernelCopy_ ? KernelPieces : 1;
    for (qint64 first = 0; first < pieces; first += group) {
        const qint64 last = std::min(pieces, first + group);
        qint64 spanStart = first * ChunkSize;
        qint64 spanEnd = spanStart;
        const auto flush = [&] {
            if (spanEnd > spanStart) {
                CopyPiece(from, to, spanStart, spanEnd - spanStart);
#if defined(Q_OS_LINUX)
                // The target goes to the disk as it is written, so its final flush (the
                // replace is durable) has little left to wait for.
                if (flushTarget && to.handle() >= 0) {
                    ::sync_file_range(to.handle(), spanStart, spanEnd - spanStart,
                                      SYNC_FILE_RANGE_WRITE);
                }
#endif
            }
        };
        for (qint64 i = first; i < last; ++i) {
            const qint64 offset = i * ChunkSize;
            if (IsHole(from, offset, pieceSize(i))) {
                flush();
                spanStart = offset + pieceSize(i);
            }
            spanEnd = offset + pieceSize(i);
        }
        flush();
        for (qint64 i = first; i < last; ++i) {
            if (progress) {
                progress(percent(i));
            }
            if (aborted_) {
                throw RuntimeError(ErrorNumber::CancelError, Tr("The copy was cancelled."));
            }
        }
    }
    // A hole at the end: the length alone makes it.
    if (to.size() < length && !to.resize(length)) {
        ThrowFileError(Tr("Cannot write \"%1\": %2"), to);
    }
    Q_UNUSED(flushTarget);
}

void WorkImage::EndCopy() {
    copying_ = false;
    buffer_ = QByteArray();
    if (closePending_) {
        Close();
    }
}

void WorkImage::Create(const QString& name) {
    Close();
    sourceName_ = name;
    // Whatever stands at the image's name goes first: a stale image, or a link planted there
    // (removing a link removes the link, not what it points to). The new file is then
    // created exclusively, so it can never be opened through a link.
    QFile::remove(path_);
    file_.setFileName(path_);
    if (!file_.open(QIODevice::ReadWrite | QIODevice::NewOnly | QIODevice::Unbuffered,
                    QFileDevice::ReadOwner | QFileDevice::WriteOwner)) {
        ThrowFileError(Tr("Cannot create the working copy \"%1\": %2"), file_);
    }
}

RecordImage::Layout WorkImage::LoadRecords(QFileDevice& source, core::ImageFormat format,
                                           const RecordImage::Progress& progress) {
    Create(source.fileName());
    aborted_ = false;
    copying_ = true;
    RecordImage::Layout layout;
    try {
        layout = RecordImage::Load(source, format, file_,
                                   [&](int percent) { return progress(percent) && !aborted_; });
    } catch (...) {
        closePending_ = true;
        EndCopy();
        QFile::remove(path_);
        throw;
    }
    length_ = layout.length;
    EndCopy();
    return layout;
}

void WorkImage::Load(QFileDevice& source, const Progress& progress, const QString& name) {
    Create(name);
    const qint64 length = source.size();
    aborted_ = false;
    copying_ = true;
    try {
        Copy(source, file_, length, false, progress);
    } catch (...) {
        closePending_ = true;
        EndCopy();
        QFile::remove(path_);
        throw;
    }
    length_ = length;
    EndCopy();
}

void WorkImage::SaveTo(const QString& target, const Progress& progress) {
    if (!IsOpen()) {
        throw RuntimeError(ErrorNumber::PathFileAccess, Tr("No file is open in the editor."));
    }
    // The file keeps its mode and owner; a read-only one was asked about before.
    QSaveFile out;
    QString why;
    if (!core::OpenReplacement(out, core::InspectTarget(target), true, &why)) {
        throw RuntimeError(ErrorNumber::PathFileAccess,
                           Tr("Cannot write \"%1\": %2").arg(target, why));
    }
    aborted_ = false;
    copying_ = true;
    try {
        Copy(file_, out, length_, true, progress);
    } catch (...) {
        out.cancelWriting();
        EndCopy();
        throw;
    }
    EndCopy();
    if (!out.commit()) {
        ThrowFileError(Tr("Cannot write \"%1\": %2"), out);
    }
}

qint64 WorkImage::ReadAt(qint64 position, char* data, qint64 size) {
    if (!IsOpen() || position < 1 || position > length_) {
        return 0;
    }
    if (!file_.seek(position - 1)) {
        ThrowFileError(Tr("Cannot read the working copy \"%1\": %2"), file_);
    }
    qint64 got = 0;
    while (got < size) {
        const qint64 n = file_.read(data + got, size - got);
        if (n < 0) {
            ThrowFileError(Tr("Cannot read the working copy \"%1\": %2"), file_);
        }
        if (n == 0) {
            break;
        }
        got += n;
    }
    return got;
}

void WorkImage::WriteAt(qint64 position, unsigned char value) {
    if (!IsOpen() || position < 1 || position > length_) {
        throw RuntimeError(ErrorNumber::IllegalCall,
                           Tr("Position %1 lies outside the working copy.").arg(position));
    }
    const char byte = static_cast<char>(value);
    if (!file_.seek(position - 1) || file_.write(&byte, 1) != 1) {
        ThrowFileError(Tr("Cannot write the working copy \"%1\": %2"), file_);
    }
}

void WorkImage::WriteAt(qint64 position, const char* data, qint64 size) {
    if (!IsOpen() || position < 1 || size < 0 || position - 1 + size > length_) {
        throw RuntimeError(ErrorNumber::IllegalCall,
                           Tr("Bytes %1 to %2 lie outside the working copy.")
                               .arg(position)
                               .arg(position + size - 1));
    }
    if (!file_.seek(position - 1)) {
        ThrowFileError(Tr("Cannot write the working copy \"%1\": %2"), file_);
    }
    for (qint64 done = 0; done < size;) {
        const qint64 n = file_.write(data + done, size - done);
        if (n <= 0) {
            ThrowFileError(Tr("Cannot write the working copy \"%1\": %2"), file_);
        }
        done += n;
    }
}

void WorkImage::CopyRangeTo(QFileDevice& to, qint64 offset, qint64 size) {
    if (size > 0) {
        kernelCopyWorks_ = true;
        CopyPiece(file_, to, offset, size);
    }
}

void WorkImage::Exchange(const QString& other) {
    if (!IsOpen()) {
        throw RuntimeError(ErrorNumber::PathFileAccess, Tr("No file is open in the editor."));
    }
    file_.close();
    const QByteArray ours = QFile::encodeName(path_);
    const QByteArray theirs = QFile::encodeName(other);
    bool exchanged = false;
#if defined(Q_OS_LINUX) && defined(RENAME_EXCHANGE)
    exchanged =
        ::renameat2(AT_FDCWD, ours.constData(), AT_FDCWD, theirs.constData(), RENAME_EXCHANGE) == 0;
#endif
    if (!exchanged) {
        // Three renames: a moment without the image's name, never without its bytes.
        const QByteArray between = ours + ".exchange";
        exchanged = ::rename(ours.constData(), between.constData()) == 0 &&
                    ::rename(theirs.constData(), ours.constData()) == 0 &&
                    ::rename(between.constData(), theirs.constData()) == 0;
    }
    const int error = errno;
    file_.setFileName(path_);
    if (!file_.open(QIODevice::ReadWrite | QIODevice::Unbuffered)) {
        ThrowFileError(Tr("Cannot open the working copy \"%1\" again: %2"), file_);
    }
    length_ = file_.size();
    if (!exchanged) {
        throw RuntimeError(ErrorNumber::PathFileAccess,
                           Tr("Cannot exchange the working copy \"%1\" with \"%2\": %3")
                               .arg(path_, other, core::SystemReason(error)));
    }
}

void WorkImage::Close() {
    if (copying_) {
        // The copy uses the file's handle directly: it is closed once the copy has stopped,
        // never under it (the number could be reused by another file meanwhile).
        aborted_ = true;
        closePending_ = true;
        return;
    }
    closePending_ = false;
    if (file_.isOpen()) {
        file_.close();
    }
    length_ = 0;
}

void WorkImage::Remove() {
    Close();
    QFile::remove(path_);
}
