#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

namespace core {

// The largest file PROGRAM takes as a raw image: a block is 512 bytes at most, so anything
// much larger is not an image of this chip.
constexpr qint64 MaxRawImageSize = 64 * 1024;
// A text image of a 512-byte block is under 2 KiB; this leaves room for comments and a
// toolchain's whole output, whose data outside the block is then named by line.
constexpr qint64 MaxTextImageSize = 1024 * 1024;

// The whole of a file that must be a regular file (or a link to one) of at most maxSize
// bytes. Never blocks: a FIFO or a device is refused without waiting for a writer. On
// failure error says why, in words that follow the file's name.
std::optional<QByteArray> ReadImageFile(const QString& path, qint64 maxSize, QString* error);

// Whether a file may be replaced by an image: absent, or a regular file or a link to one.
bool IsReplaceableFile(const QString& path, QString* error);

} // namespace core
