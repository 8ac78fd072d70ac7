#include "ImageFile.h"

#include "FileErrors.h"
#include "FileReplace.h"
#include "RegularFile.h"
#include "formats/IntelHex.h"
#include "formats/RecordReader.h"
#include "formats/SRecord.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

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

std::optional<QByteArray> DecodeRecords(const QByteArray& content, ImageFormat format,
                                        const Family& family, QString* why) {
    if (format == ImageFormat::Raw) {
        return content;
    }
    return ReadBlock(content, format, quint32(family.eepromFirst), family.blockSize, why);
}

LoadedImage LoadImageFile(const QString& path, std::optional<ImageFormat> format,
                          const Family& family, bool pad) {
    LoadedImage image;
    const ImageFormat used = format.value_or(ImageFormatOfPath(path));
    const qint64 limit = used == ImageFormat::Raw ? MaxRawImageSize : MaxTextImageSize;
    QString why;
    const std::optional<QByteArray> content = ReadImageFile(path, limit, &why);
    if (!content) {
        image.fault = ImageFault::Unreadable;
        image.message = why;
        return image;
    }
    if (used == ImageFormat::Raw && !format) {
        if (const std::optional<ImageFormat> records = RecordsFormatOf(*content)) {
            image.fault = ImageFault::LooksLikeRecords;
            image.detected = *records;
            image.size = content->size();
            image.message = QStringLiteral("it holds %1, but its name calls for raw bytes")
                                .arg(RecordsWords(*records));
            return image;
        }
    }
    return DecodeImage(*content, used, family, pad);
}

LoadedImage DecodeImage(const QByteArray& content, ImageFormat format, const Family& family,
                        bool pad) {
    LoadedImage image;
    image.size = content.size();
    const int n = family.blockSize;
    QString why;
    std::optional<QByteArray> block;
    switch (format) {
    case ImageFormat::Raw:
        if (content.size() > n || (content.size() < n && !pad)) {
            image.fault = ImageFault::RawSize;
            image.message = QStringLiteral("it is %1 bytes long, the block is %2 bytes")
                                .arg(content.size())
                                .arg(n);
            return image;
        }
        block = content + QByteArray(n - content.size(), char(0xFF));
        break;
    case ImageFormat::IntelHex:
    case ImageFormat::SRecord:
        block = DecodeRecords(content, format, family, &why);
        break;
    }
    if (!block) {
        image.fault = ImageFault::Malformed;
        image.message = why;
        return image;
    }
    image.block = *block;
    return image;
}

QByteArray EncodeImage(const QByteArray& block, ImageFormat format, const Family& family,
                       const QString& header, int recordBytes) {
    switch (format) {
    case ImageFormat::IntelHex:
        return WriteIntelHex(block, quint32(family.eepromFirst), recordBytes);
    case ImageFormat::SRecord:
        return WriteSRecord(block, quint32(family.eepromFirst), header.toLatin1(), recordBytes);
    case ImageFormat::Raw:
        break;
    }
    return block;
}

ImageTarget::ImageTarget() = default;

ImageTarget::~ImageTarget() {
    Discard();
}

bool ImageTarget::Open(const QString& path, QString* error, bool replaceReadOnly) {
    Discard();
    if (!IsReplaceableFile(path, error)) {
        return false;
    }
    file_ = std::make_unique<QSaveFile>();
    // Unbuffered: a buffered write that fails only at commit (a full disk) is not reported by
    // commit, which then puts an empty file in place of the old one.
    if (!OpenReplacement(*file_, InspectTarget(path), replaceReadOnly, error)) {
        file_.reset();
        return false;
    }
    return true;
}

bool ImageTarget::Commit(const QByteArray& content, QString* error) {
    if (!file_) {
        *error = QStringLiteral("it was not opened for writing");
        return false;
    }
    const auto write = [&] { return file_->write(content) == content.size() && file_->flush(); };
    const auto commit = [&] { return file_->commit(); };
    if (!FileCall(*file_, write, error) || !FileCall(*file_, commit, error)) {
        Discard();
        return false;
    }
    file_.reset();
    return true;
}

void ImageTarget::Discard() {
    if (file_) {
        file_->cancelWriting();
        file_.reset();
    }
}

} // namespace core
