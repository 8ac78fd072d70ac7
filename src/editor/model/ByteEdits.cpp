#include "ByteEdits.h"

#include "WorkImage.h"
#include "core/FileErrors.h"
#include "platform/RuntimeError.h"

#include <QCoreApplication>
#include <algorithm>
#include <cstdlib>
#include <cstring>

#if defined(Q_OS_LINUX)
#include <fcntl.h>
#include <unistd.h>
#endif

using platform::RuntimeError;
namespace ErrorNumber = platform::ErrorNumber;

namespace {

QString Tr(const char* text) {
    return QCoreApplication::translate("ByteEdits", text);
}

int Share(qint64 done, qint64 total, int from, int to) {
    return total > 0 ? from + static_cast<int>((to - from) * done / total) : to;
}

// Writes a fill's pieces past the page cache where the system can (O_DIRECT on Linux): a fill
// of a whole image is a gigabyte the cache need not hold, and finding fresh pages for it is
// most of the time such a write takes. Pieces at aligned offsets and of aligned sizes only;
// the caller writes the rest as usual.
class DirectWriter {
public:
    static constexpr qint64 Align = 4096;

    explicit DirectWriter(const QString& path) {
#if defined(Q_OS_LINUX) && defined(O_DIRECT)
        fd_ = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_DIRECT | O_CLOEXEC);
#else
        Q_UNUSED(path);
#endif
    }
    ~DirectWriter() {
#if defined(Q_OS_LINUX)
        if (fd_ >= 0) {
            ::close(fd_);
        }
#endif
        std::free(buffer_);
    }
    DirectWriter(const DirectWriter&) = delete;
    DirectWriter& operator=(const DirectWriter&) = delete;

    // Whether size bytes at offset go this way.
    bool Takes(qint64 offset, qint64 size) const {
        return fd_ >= 0 && offset % Align == 0 && size % Align == 0 && size > 0;
    }
    // Writes the first size bytes of piece at offset; false when the system would not (the
    // caller writes them as usual).
    bool Write(const QByteArray& piece, qint64 offset, qint64 size) {
#if defined(Q_OS_LINUX)
        if (buffer_ == nullptr) {
            buffer_ = std::aligned_alloc(
                Align, static_cast<std::size_t>(piece.size() + Align - piece.size() % Align));
            if (buffer_ == nullptr) {
                return false;
            }
            std::memcpy(buffer_, piece.constData(), static_cast<std::size_t>(piece.size()));
        }
        for (qint64 done = 0; done < size;) {
            const ssize_t n = ::pwrite(fd_, static_cast<char*>(buffer_) + done,
                                       static_cast<std::size_t>(size - done), offset + done);
            if (n <= 0) {
                if (n < 0 && errno == EINTR) {
                    continue;
                }
                ::close(fd_); // from here on, as usual
                fd_ = -1;
                return false;
            }
            done += n;
        }
        return true;
#else
        Q_UNUSED(piece);
        Q_UNUSED(offset);
        Q_UNUSED(size);
        return false;
#endif
    }

private:
    int fd_ = -1;
    void* buffer_ = nullptr;
};

} // namespace

ByteEdits::~ByteEdits() {
    Clear();
}

void ByteEdits::Forget(const Step& step) {
    if (!step.swapPath.isEmpty()) {
        QFile::remove(step.swapPath);
    }
}

void ByteEdits::DropRedo() {
    for (std::size_t i = static_cast<std::size_t>(current_ - first_); i < steps_.size(); ++i) {
        Forget(steps_[i]);
    }
    steps_.resize(static_cast<std::size_t>(current_ - first_));
    if (saved_ > current_) {
        saved_ = -1; // the saved state was among the steps just dropped
    }
    // The bytes of the steps dropped are no longer needed: the store ends where the last
    // step kept ends (a range's bytes always go to its end).
    if (store_.isOpen()) {
        qint64 end = 0;
        for (const Step& s : steps_) {
            if (s.beforeAt >= 0) {
                end = std::max(end, s.beforeAt + s.length);
            }
            if (s.afterAt >= 0) {
                end = std::max(end, s.afterAt + s.length);
            }
        }
        if (end < store_.size()) {
            store_.resize(end);
        }
    }
}

void ByteEdits::Keep(Step step) {
    steps_.push_back(std::move(step));
    ++current_;
    if (steps_.size() > Limit) {
        Forget(steps_.front());
        steps_.pop_front();
        ++first_;
    }
}

void ByteEdits::Write(qint64 position, unsigned char value) {
    char before = 0;
    if (image_.ReadAt(position, &before, 1) != 1) {
        throw RuntimeError(ErrorNumber::IllegalCall,
                           Tr("Position %1 lies outside the working copy.").arg(position));
    }
    image_.WriteAt(position, value);
    DropRedo();
    Keep({position, 1, static_cast<unsigned char>(before), value, -1, -1, {}, {}});
}

void ByteEdits::OpenStore() {
    if (store_.isOpen()) {
        return;
    }
    // Made afresh, exclusively, beside the working image: never through a link planted there.
    const QString path = image_.Path() + QStringLiteral(".undo");
    QFile::remove(path);
    store_.setFileName(path);
    if (!store_.open(QIODevice::ReadWrite | QIODevice::NewOnly | QIODevice::Unbuffered,
                     QFileDevice::ReadOwner | QFileDevice::WriteOwner)) {
        throw RuntimeError(ErrorNumber::PathFileAccess,
                           Tr("Cannot create \"%1\" for the edit history: %2")
                               .arg(path, core::FileErrorReason(store_)));
    }
}

qint64 ByteEdits::Stash(qint64 position, qint64 length, const Progress& progress, int from,
                        int to) {
    OpenStore();
    const qint64 at = store_.size();
    buffer_.resize(static_cast<qsizetype>(std::min(length, PieceSize)));
    if (!store_.seek(at)) {
        throw RuntimeError(
            ErrorNumber::PathFileAccess,
            Tr("Cannot write \"%1\": %2").arg(store_.fileName(), core::FileErrorReason(store_)));
    }
    for (qint64 done = 0; done < length;) {
        const qint64 step = std::min(length - done, PieceSize);
        if (image_.ReadAt(position + done, buffer_.data(), step) != step ||
            store_.write(buffer_.constData(), step) != step) {
            const QString why = core::FileErrorReason(store_);
            store_.resize(at);
            throw RuntimeError(
                ErrorNumber::PathFileAccess,
                Tr("Cannot keep the bytes to take back in \"%1\": %2").arg(store_.fileName(), why));
        }
        done += step;
        if (progress && done < length && !progress(Share(done, length, from, to))) {
            store_.resize(at);
            throw RuntimeError(ErrorNumber::CancelError, Tr("The change was stopped."));
        }
    }
    return at;
}

QByteArray ByteEdits::PatternPiece(const QByteArray& pattern, qint64 phase, qint64 size) {
    QByteArray piece(static_cast<qsizetype>(size), Qt::Uninitialized);
    const qint64 n = pattern.size();
    if (n == 1) {
        piece.fill(pattern.at(0));
        return piece;
    }
    for (qint64 i = 0; i < size; ++i) {
        piece[static_cast<qsizetype>(i)] = pattern.at(static_cast<qsizetype>((phase + i) % n));
    }
    return piece;
}

void ByteEdits::RestoreFromStore(qint64 position, qint64 length, qint64 at) {
    buffer_.resize(static_cast<qsizetype>(std::min(length, PieceSize)));
    for (qint64 done = 0; done < length;) {
        const qint64 step = std::min(length - done, PieceSize);
        if (!store_.seek(at + done) || store_.read(buffer_.data(), step) != step) {
            throw RuntimeError(
                ErrorNumber::PathFileAccess,
                Tr("Cannot read \"%1\": %2").arg(store_.fileName(), core::FileErrorReason(store_)));
        }
        image_.WriteAt(position + done, buffer_.constData(), step);
        done += step;
    }
}

void ByteEdits::WriteRange(qint64 position, qint64 length, const QByteArray& data,
                           const Progress& progress) {
    if (length <= 0 || data.isEmpty()) {
        return;
    }
    if (position < 1 || position + length - 1 > image_.Length()) {
        throw RuntimeError(ErrorNumber::IllegalCall,
                           Tr("Bytes %1 to %2 lie outside the working copy.")
                               .arg(position)
                               .arg(position + length - 1));
    }
    const bool fill = data.size() != length;
    DropRedo();
    Step step{position, length, 0, 0, -1, -1, {}, {}};
    if (fill && 2 * length > image_.Length()) {
        // Most of the image: writing a new one costs less than keeping the old bytes aside.
        FillBySwap(step, data, progress);
        Keep(std::move(step));
        return;
    }
    // The old bytes first (the first half of the work), then the new ones over them.
    step.beforeAt = Stash(position, length, progress, 0, 50);
    if (fill) {
        step.pattern = data;
    } else {
        OpenStore();
        step.afterAt = store_.size();
        if (!store_.seek(step.afterAt) || store_.write(data) != data.size()) {
            const QString why = core::FileErrorReason(store_);
            store_.resize(step.beforeAt);
            throw RuntimeError(
                ErrorNumber::PathFileAccess,
                Tr("Cannot keep the bytes to take back in \"%1\": %2").arg(store_.fileName(), why));
        }
    }
    qint64 done = 0;
    try {
        const qint64 n = data.size();
        // A fill writes one prepared piece over and over when the pattern fits it evenly.
        const qint64 pieceSize = fill ? std::max<qint64>(n, PieceSize - PieceSize % n) : PieceSize;
        QByteArray piece;
        while (done < length) {
            const qint64 size = std::min(length - done, pieceSize);
            if (fill) {
                if (piece.size() != size) {
                    piece = PatternPiece(data, done % n, size);
                }
                image_.WriteAt(position + done, piece.constData(), size);
            } else {
                image_.WriteAt(position + done, data.constData() + done, size);
            }
            done += size;
            if (progress && done < length && !progress(Share(done, length, 50, 100))) {
                throw RuntimeError(ErrorNumber::CancelError, Tr("The change was stopped."));
            }
        }
    } catch (...) {
        // Back to the bytes as they were; the step is not kept.
        RestoreFromStore(position, done, step.beforeAt);
        store_.resize(step.beforeAt);
        throw;
    }
    Keep(std::move(step));
}

void ByteEdits::FillBySwap(Step& step, const QByteArray& data, const Progress& progress) {
    step.swapPath = image_.Path() + QStringLiteral(".step%1").arg(++swaps_);
    QFile::remove(step.swapPath);
    QFile next(step.swapPath);
    if (!next.open(QIODevice::ReadWrite | QIODevice::NewOnly | QIODevice::Unbuffered,
                   QFileDevice::ReadOwner | QFileDevice::WriteOwner)) {
        throw RuntimeError(ErrorNumber::PathFileAccess,
                           Tr("Cannot create \"%1\" for the edit history: %2")
                               .arg(step.swapPath, core::FileErrorReason(next)));
    }
    try {
        const qint64 total = image_.Length();
        const qint64 start = step.position - 1;
        const qint64 end = start + step.length;
        image_.CopyRangeTo(next, 0, start);
        const qint64 n = data.size();
        const qint64 pieceSize = std::max<qint64>(n, PieceSize - PieceSize % n);
        const QByteArray piece = PatternPiece(data, 0, std::min(step.length, pieceSize));
        DirectWriter direct(step.swapPath);
        for (qint64 done = 0; done < step.length;) {
            const qint64 size = std::min(step.length - done, qint64(piece.size()));
            if (direct.Takes(start + done, size) && direct.Write(piece, start + done, size)) {
                done += size;
            } else if (!next.seek(start + done) || next.write(piece.constData(), size) != size) {
                throw RuntimeError(
                    ErrorNumber::PathFileAccess,
                    Tr("Cannot write \"%1\": %2").arg(step.swapPath, core::FileErrorReason(next)));
            } else {
                done += size;
            }
            if (progress && done < step.length && !progress(Share(start + done, total, 0, 100))) {
                throw RuntimeError(ErrorNumber::CancelError, Tr("The change was stopped."));
            }
        }
        image_.CopyRangeTo(next, end, total - end);
        next.close();
        image_.Exchange(step.swapPath);
    } catch (...) {
        // The image was not touched: the new one goes.
        next.close();
        QFile::remove(step.swapPath);
        throw;
    }
}

void ByteEdits::Apply(const Step& step, bool after) {
    if (!step.swapPath.isEmpty()) {
        image_.Exchange(step.swapPath); // either way: the two states trade places
    } else if (step.beforeAt < 0) {
        image_.WriteAt(step.position, after ? step.after : step.before);
    } else if (!after) {
        RestoreFromStore(step.position, step.length, step.beforeAt);
    } else if (step.afterAt >= 0) {
        RestoreFromStore(step.position, step.length, step.afterAt);
    } else {
        const qint64 n = step.pattern.size();
        const qint64 pieceSize = std::max<qint64>(n, PieceSize - PieceSize % n);
        const QByteArray piece = PatternPiece(step.pattern, 0, std::min(step.length, pieceSize));
        for (qint64 done = 0; done < step.length;) {
            const qint64 size = std::min(step.length - done, qint64(piece.size()));
            image_.WriteAt(step.position + done, piece.constData(), size);
            done += size;
        }
    }
}

std::optional<ByteEdits::Span> ByteEdits::Undo() {
    // A joined step goes back with the one before it: the span covers them all.
    std::optional<Span> span;
    for (bool more = CanUndo(); more;) {
        const Step& step = steps_[static_cast<std::size_t>(current_ - first_ - 1)];
        Apply(step, false);
        --current_;
        span = Cover(span, step);
        more = step.joined && CanUndo();
    }
    return span;
}

std::optional<ByteEdits::Span> ByteEdits::Redo() {
    std::optional<Span> span;
    for (bool more = CanRedo(); more;) {
        const Step& step = steps_[static_cast<std::size_t>(current_ - first_)];
        Apply(step, true);
        ++current_;
        span = Cover(span, step);
        more = CanRedo() && steps_[static_cast<std::size_t>(current_ - first_)].joined;
    }
    return span;
}

std::optional<ByteEdits::Span> ByteEdits::Cover(const std::optional<Span>& span, const Step& step) {
    if (!span) {
        return Span{step.position, step.length};
    }
    const qint64 from = std::min(span->position, step.position);
    const qint64 to = std::max(span->position + span->length, step.position + step.length);
    return Span{from, to - from};
}

void ByteEdits::WriteRanges(const QList<QPair<qint64, QByteArray>>& ranges) {
    const qint64 start = current_;
    try {
        for (const auto& [position, bytes] : ranges) {
            const bool first = current_ == start;
            WriteRange(position, bytes.size(), bytes);
            if (!first && current_ > start) {
                steps_.back().joined = true;
            }
        }
    } catch (...) {
        // All or nothing: the ranges already written go back.
        if (current_ > start) {
            Undo();
            DropRedo();
        }
        throw;
    }
}

void ByteEdits::Clear() {
    for (const Step& step : steps_) {
        Forget(step);
    }
    steps_.clear();
    first_ = current_ = saved_ = 0;
    if (store_.isOpen()) {
        store_.close();
        QFile::remove(store_.fileName());
    }
    buffer_ = QByteArray();
}
