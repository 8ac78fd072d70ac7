#include "ImageCompare.h"

#include "core/FileErrors.h"

#include "platform/RuntimeError.h"

#include <QCoreApplication>
#include <QFileDevice>
#include <algorithm>
#include <cstring>
#include <vector>

#if defined(Q_OS_UNIX)
#include <cerrno>
#include <unistd.h>
#endif

using platform::RuntimeError;
namespace ErrorNumber = platform::ErrorNumber;

namespace ImageCompare {

namespace {

// Within a piece that differs, the stretches memcmp is asked about before bytes are looked at.
constexpr qint64 Block = 4096;

QString Tr(const char* text) {
    return QCoreApplication::translate("ImageCompare", text);
}

[[noreturn]] void ReadError(const QFileDevice& file, const QString& reason) {
    throw RuntimeError(ErrorNumber::PathFileAccess,
                       Tr("Cannot read \"%1\": %2").arg(file.fileName(), reason));
}

// size bytes at offset, in positioned reads where the file has a handle.
void ReadPiece(QFileDevice& file, qint64 offset, char* data, qint64 size) {
    qint64 got = 0;
#if defined(Q_OS_UNIX)
    const int fd = file.handle();
    if (fd >= 0) {
        while (got < size) {
            const ssize_t n = ::pread(fd, data + got, std::size_t(size - got), off_t(offset + got));
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n < 0) {
                ReadError(file, QString::fromLocal8Bit(std::strerror(errno)));
            }
            if (n == 0) {
                break;
            }
            got += n;
        }
    } else
#endif
    {
        if (!file.seek(offset)) {
            ReadError(file, core::FileErrorReason(file));
        }
        while (got < size) {
            const qint64 n = file.read(data + got, size - got);
            if (n < 0) {
                ReadError(file, core::FileErrorReason(file));
            }
            if (n == 0) {
                break;
            }
            got += n;
        }
    }
    if (got < size) {
        throw RuntimeError(
            ErrorNumber::PathFileAccess,
            Tr("\"%1\" became shorter while it was being compared.").arg(file.fileName()));
    }
}

// How many of the eight bytes of x are not zero.
int NonZeroBytes(quint64 x) {
    constexpr quint64 Low7 = 0x7F7F7F7F7F7F7F7FULL;
    // Each byte's top bit: set by the carry when its low seven bits are not all zero, or
    // because it was set.
    return qPopulationCount((((x & Low7) + Low7) | x) & ~Low7);
}

qint64 CountDiffering(const char* a, const char* b, qint64 size) {
    qint64 count = 0;
    qint64 i = 0;
    for (; i + 8 <= size; i += 8) {
        quint64 x;
        quint64 y;
        std::memcpy(&x, a + i, 8);
        std::memcpy(&y, b + i, 8);
        count += NonZeroBytes(x ^ y);
    }
    for (; i < size; ++i) {
        count += a[i] != b[i] ? 1 : 0;
    }
    return count;
}

bool Same(const char* a, const char* b, qint64 size) {
    return std::memcmp(a, b, std::size_t(size)) == 0;
}

// The first (or last) index where a and b differ; they are known to differ somewhere.
qint64 FindDiffering(const char* a, const char* b, qint64 size, bool first) {
    const qint64 blocks = (size + Block - 1) / Block;
    for (qint64 k = 0; k < blocks; ++k) {
        const qint64 start = (first ? k : blocks - 1 - k) * Block;
        const qint64 n = std::min(Block, size - start);
        if (Same(a + start, b + start, n)) {
            continue;
        }
        for (qint64 j = 0; j < n; ++j) {
            const qint64 i = start + (first ? j : n - 1 - j);
            if (a[i] != b[i]) {
                return i;
            }
        }
    }
    return -1;
}

class Pieces {
public:
    Pieces(QFileDevice& ours, QFileDevice& theirs, qint64 chunkSize, const Progress& progress)
        : ours_(ours), theirs_(theirs), progress_(progress),
          chunkSize_(std::max<qint64>(chunkSize, 1)), a_(std::size_t(chunkSize_)),
          b_(std::size_t(chunkSize_)) {}

    qint64 ChunkSize() const { return chunkSize_; }
    const char* A() const { return a_.data(); }
    const char* B() const { return b_.data(); }

    // Reads size bytes at offset from both; true when they are the same.
    bool Read(qint64 offset, qint64 size) {
        ReadPiece(ours_, offset, a_.data(), size);
        ReadPiece(theirs_, offset, b_.data(), size);
        return Same(a_.data(), b_.data(), size);
    }

    void Done(qint64 done, qint64 total) {
        if (progress_ && !progress_(int(done * 100 / std::max<qint64>(total, 1)))) {
            throw RuntimeError(ErrorNumber::CancelError, Tr("The comparison was stopped."));
        }
    }

private:
    QFileDevice& ours_;
    QFileDevice& theirs_;
    const Progress& progress_;
    qint64 chunkSize_;
    std::vector<char> a_;
    std::vector<char> b_;
};

} // namespace

Result Compare(QFileDevice& ours, QFileDevice& theirs, int keep, const Progress& progress,
               qint64 chunkSize) {
    Result result;
    result.ourLength = ours.size();
    result.theirLength = theirs.size();
    const qint64 common = std::min(result.ourLength, result.theirLength);
    Pieces pieces(ours, theirs, chunkSize, progress);
    for (qint64 offset = 0; offset < common;) {
        const qint64 size = std::min(pieces.ChunkSize(), common - offset);
        if (!pieces.Read(offset, size)) {
            const char* a = pieces.A();
            const char* b = pieces.B();
            for (qint64 start = 0; start < size; start += Block) {
                const qint64 n = std::min(Block, size - start);
                if (Same(a + start, b + start, n)) {
                    continue;
                }
                if (result.first.size() >= keep) {
                    result.differing += CountDiffering(a + start, b + start, n);
                    continue;
                }
                for (qint64 i = start; i < start + n; ++i) {
                    if (a[i] == b[i]) {
                        continue;
                    }
                    ++result.differing;
                    if (result.first.size() < keep) {
                        result.first.append({offset + i, static_cast<unsigned char>(a[i]),
                                             static_cast<unsigned char>(b[i])});
                    }
                }
            }
        }
        offset += size;
        pieces.Done(offset, common);
    }
    return result;
}

std::optional<qint64> NextDifference(QFileDevice& ours, QFileDevice& theirs, qint64 from,
                                     bool forward, const Progress& progress, qint64 chunkSize) {
    const qint64 common = std::min(ours.size(), theirs.size());
    Pieces pieces(ours, theirs, chunkSize, progress);
    if (forward) {
        const qint64 first = std::max<qint64>(from + 1, 0);
        for (qint64 offset = first; offset < common;) {
            const qint64 size = std::min(pieces.ChunkSize(), common - offset);
            if (!pieces.Read(offset, size)) {
                return offset + FindDiffering(pieces.A(), pieces.B(), size, true);
            }
            offset += size;
            pieces.Done(offset - first, common - first);
        }
    } else {
        const qint64 last = std::min(from, common); // the bytes before it
        for (qint64 end = last; end > 0;) {
            const qint64 size = std::min(pieces.ChunkSize(), end);
            const qint64 offset = end - size;
            if (!pieces.Read(offset, size)) {
                return offset + FindDiffering(pieces.A(), pieces.B(), size, false);
            }
            end = offset;
            pieces.Done(last - end, last);
        }
    }
    return std::nullopt;
}

} // namespace ImageCompare
