#pragma once

#include <QList>
#include <QtGlobal>
#include <functional>
#include <optional>

class QFileDevice;

// Two files of any size compared a large piece at a time: equal stretches are passed over
// at the speed of memcmp, and bytes are looked at one by one only where it says they differ.
// Offsets are 0-based. Failures throw platform::RuntimeError.
namespace ImageCompare {

// Bytes read from each file at a time.
constexpr qint64 ChunkSize = qint64(2) << 20;

struct Difference {
    qint64 offset;
    unsigned char ours;
    unsigned char theirs;
};

struct Result {
    qint64 differing = 0; // bytes that differ over the length both files have
    qint64 ourLength = 0;
    qint64 theirLength = 0;
    QList<Difference> first; // the first differences, in order
};

// Told the share done after each piece; false stops the work (a CancelError).
using Progress = std::function<bool(int percent)>;

// Compares ours and theirs (both open for reading), keeping the first `keep` differences.
Result Compare(QFileDevice& ours, QFileDevice& theirs, int keep, const Progress& progress,
               qint64 chunkSize = ChunkSize);

// The nearest offset after from (forward) or before it (backward) where the files differ,
// among the bytes both have; nothing when there is none. from may be -1, or the common
// length, to look from the first byte or the last.
std::optional<qint64> NextDifference(QFileDevice& ours, QFileDevice& theirs, qint64 from,
                                     bool forward, const Progress& progress = {},
                                     qint64 chunkSize = ChunkSize);

} // namespace ImageCompare
