#include "ImageFormat.h"

#include "IntelHex.h"
#include "SRecord.h"

#include <QFileInfo>

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

} // namespace core
