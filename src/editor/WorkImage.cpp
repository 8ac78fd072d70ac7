#include "WorkImage.h"

#include "platform/RuntimeError.h"

#include <QCoreApplication>
#include <QSaveFile>
#include <algorithm>
#include <vector>

#if defined(Q_OS_UNIX)
#include <cerrno>
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

bool AllZero(const std::vector<char>& buffer, qint64 size) {
    return std::all_of(buffer.begin(), buffer.begin() + size, [](char b) { return b == 0; });
}

[[noreturn]] void ThrowFileError(const QString& what, const QFileDevice& file) {
    throw RuntimeError(ErrorNumber::PathFileAccess, what.arg(file.fileName(), file.errorString()));
}

} // namespace

WorkImage::WorkImage(QString path) : path_(std::move(path)) {}

WorkImage::~WorkImage() {
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

void WorkImage::Copy(QFileDevice& from, QFileDevice& to, qint64 length, const Progress& progress) {
    std::vector<char> buffer(static_cast<std::size_t>(std::min(length, ChunkSize)));
    qint64 done = 0;
    bool endWritten = true;

    // One piece: read from the source and written at the same place. A piece of zeros is
    // left as a hole in the new file, which reads back as zeros.
    const auto piece = [&](qint64 size) {
        if (IsHole(from, done, size)) {
            endWritten = false;
        } else {
            if (!from.seek(done)) {
                ThrowFileError(Tr("Cannot read \"%1\": %2"), from);
            }
            qint64 got = 0;
            while (got < size) {
                const qint64 n = from.read(buffer.data() + got, size - got);
                if (n < 0) {
                    ThrowFileError(Tr("Cannot read \"%1\": %2"), from);
                }
                if (n == 0) {
                    throw RuntimeError(ErrorNumber::PathFileAccess,
                                       Tr("\"%1\" became shorter while it was being copied.")
                                           .arg(from.fileName()));
                }
                got += n;
            }
            if (AllZero(buffer, size)) {
                endWritten = false;
            } else {
                if (!to.seek(done) || to.write(buffer.data(), size) != size) {
                    ThrowFileError(Tr("Cannot write \"%1\": %2"), to);
                }
                endWritten = true;
            }
        }
        done += size;
    };
    const auto report = [&](int percent) {
        if (progress) {
            progress(percent);
        }
        if (aborted_) {
            throw RuntimeError(ErrorNumber::CancelError, Tr("The copy was cancelled."));
        }
    };

    if (length > ChunkSize) {
        const qint64 n = length / ChunkSize;
        for (qint64 i = 1; i <= n; ++i) {
            piece(ChunkSize);
            report(ChunkPercent(i, n));
        }
        if (length - n * ChunkSize > 0) {
            piece(length - n * ChunkSize);
            report(100);
        }
    } else {
        piece(length);
        report(100);
    }
    if (!endWritten && length > 0) {
        // The last piece was a hole; the last byte gives the file its length.
        if (!to.seek(length - 1) || to.write("\0", 1) != 1) {
            ThrowFileError(Tr("Cannot write \"%1\": %2"), to);
        }
    }
}

void WorkImage::Load(QFileDevice& source, const Progress& progress) {
    Close();
    // Whatever stands at the image's name goes first: a stale image, or a link planted there
    // (removing a link removes the link, not what it points to). The new file is then
    // created exclusively, so it can never be opened through a link.
    QFile::remove(path_);
    file_.setFileName(path_);
    if (!file_.open(QIODevice::ReadWrite | QIODevice::NewOnly | QIODevice::Unbuffered,
                    QFileDevice::ReadOwner | QFileDevice::WriteOwner)) {
        ThrowFileError(Tr("Cannot create the working copy \"%1\": %2"), file_);
    }
    const qint64 length = source.size();
    aborted_ = false;
    copying_ = true;
    try {
        Copy(source, file_, length, progress);
    } catch (...) {
        copying_ = false;
        file_.close();
        QFile::remove(path_);
        throw;
    }
    copying_ = false;
    length_ = length;
}

void WorkImage::SaveTo(const QString& target, const Progress& progress) {
    if (!IsOpen()) {
        throw RuntimeError(ErrorNumber::PathFileAccess, Tr("No file is open in the editor."));
    }
    QSaveFile out(target);
    if (!out.open(QIODevice::WriteOnly)) {
        ThrowFileError(Tr("Cannot write \"%1\": %2"), out);
    }
    aborted_ = false;
    copying_ = true;
    try {
        Copy(file_, out, length_, progress);
    } catch (...) {
        copying_ = false;
        out.cancelWriting();
        throw;
    }
    copying_ = false;
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

void WorkImage::Close() {
    if (copying_) {
        aborted_ = true; // the copy's next step fails on the closed file and ends there
    }
    if (file_.isOpen()) {
        file_.close();
    }
    length_ = 0;
}

void WorkImage::Remove() {
    Close();
    QFile::remove(path_);
}
