#include "ImageFormats.h"

#include "FileErrors.h"
#include "FileReplace.h"
#include "ImageFile.h"
#include "IntelHex.h"
#include "SRecord.h"

#include <QFileInfo>
#include <QSaveFile>

namespace core {

std::optional<ImageFormat> ParseImageFormat(const QString& name) {
    const QString lower = name.trimmed().toLower();
    if (lower == QLatin1String("raw")) {
        return ImageFormat::Raw;
    }
    if (lower == QLatin1String("ihex")) {
        return ImageFormat::IntelHex;
    }
    if (lower == QLatin1String("srec")) {
        return ImageFormat::SRecord;
    }
    return std::nullopt;
}

QString ImageFormatName(ImageFormat format) {
    switch (format) {
    case ImageFormat::Raw:
        return QStringLiteral("raw");
    case ImageFormat::IntelHex:
        return QStringLiteral("ihex");
    case ImageFormat::SRecord:
        return QStringLiteral("srec");
    }
    return QString();
}

ImageFormat ImageFormatOfPath(const QString& path) {
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1String("ihx") || suffix == QLatin1String("ihex")) {
        return ImageFormat::IntelHex;
    }
    for (const char* s : {"srec", "s19", "s28", "s37", "mot"}) {
        if (suffix == QLatin1String(s)) {
            return ImageFormat::SRecord;
        }
    }
    return ImageFormat::Raw;
}

QString FormatWords(ImageFormat format) {
    switch (format) {
    case ImageFormat::IntelHex:
        return QStringLiteral("Intel HEX");
    case ImageFormat::SRecord:
        return QStringLiteral("S-records");
    case ImageFormat::Raw:
        break;
    }
    return QStringLiteral("raw bytes");
}

std::optional<ImageFormat> RecordsFormatOf(const QByteArray& content) {
    if (IsIntelHexText(content)) {
        return ImageFormat::IntelHex;
    }
    if (IsSRecordText(content)) {
        return ImageFormat::SRecord;
    }
    return std::nullopt;
}

QString RecordsWords(ImageFormat format) {
    return format == ImageFormat::IntelHex ? QStringLiteral("Intel HEX records")
                                           : QStringLiteral("S-records");
}

std::optional<QByteArray> DecodeRecords(const QByteArray& content, ImageFormat format,
                                        const Family& family, QString* why) {
    std::optional<QList<DataRecord>> records;
    switch (format) {
    case ImageFormat::IntelHex:
        records = ParseIntelHex(content, why);
        break;
    case ImageFormat::SRecord:
        records = ParseSRecord(content, why);
        break;
    case ImageFormat::Raw:
        return content;
    }
    if (!records) {
        return std::nullopt;
    }
    return PlaceRecords(*records, family, why);
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
    image.size = content->size();
    const int n = family.blockSize;
    std::optional<QByteArray> block;
    switch (used) {
    case ImageFormat::Raw:
        if (!format) {
            if (const std::optional<ImageFormat> records = RecordsFormatOf(*content)) {
                image.fault = ImageFault::LooksLikeRecords;
                image.detected = *records;
                image.message = QStringLiteral("it holds %1, but its name calls for raw bytes")
                                    .arg(RecordsWords(*records));
                return image;
            }
        }
        if (content->size() > n || (content->size() < n && !pad)) {
            image.fault = ImageFault::RawSize;
            image.message = QStringLiteral("it is %1 bytes long, the block is %2 bytes")
                                .arg(content->size())
                                .arg(n);
            return image;
        }
        block = *content + QByteArray(n - content->size(), char(0xFF));
        break;
    case ImageFormat::IntelHex:
    case ImageFormat::SRecord:
        block = DecodeRecords(*content, used, family, &why);
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
