// An Intel HEX or S-record file opened in the editor: read into a working image, written back
// as records, and read again, the bytes must come back unchanged. Spans are cut at 4 MiB
// (the stop the user has), so one input cannot ask for a 4 GiB fill.
#include "FuzzSupport.h"
#include "editor/model/RecordImage.h"
#include "editor/model/WorkImage.h"
#include "platform/RuntimeError.h"

#include <QFile>

namespace {

constexpr qint64 MaxSpan = qint64(4) << 20;

// Reads path's records into a working image at imagePath; none when refused or stopped.
std::optional<RecordImage::Layout> Read(WorkImage& image, const QString& path,
                                        core::ImageFormat format) {
    QFile source(path);
    if (!source.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    const QString target = image.Path();
    try {
        return image.LoadRecords(source, format,
                                 [&](int) { return QFile(target).size() <= MaxSpan; });
    } catch (const platform::RuntimeError& error) {
        fuzz::Check(!error.Description().isEmpty(), "a refusal says why");
        return std::nullopt;
    }
}

QByteArray Bytes(WorkImage& image) {
    QByteArray bytes(image.Length(), '\0');
    fuzz::Check(image.ReadAt(1, bytes.data(), bytes.size()) == bytes.size(),
                "the image reads back whole");
    return bytes;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::InitQt();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Input input(data, size);
    const bool hex = input.Flag();
    const core::ImageFormat format = hex ? core::ImageFormat::IntelHex : core::ImageFormat::SRecord;
    const QString path = fuzz::ScratchPath(hex ? QStringLiteral("in.ihx") : QStringLiteral("in.srec"));
    fuzz::WriteFile(path, input.Rest());

    WorkImage first(fuzz::ScratchPath(QStringLiteral("first.tmp")));
    const std::optional<RecordImage::Layout> layout = Read(first, path, format);
    if (!layout) {
        return 0;
    }
    fuzz::Check(layout->length == first.Length() && layout->length > 0, "the span is the image");
    const QString written = fuzz::ScratchPath(hex ? QStringLiteral("out.ihx") : QStringLiteral("out.srec"));
    RecordImage::Save(first, *layout, written, {});
    WorkImage second(fuzz::ScratchPath(QStringLiteral("second.tmp")));
    const std::optional<RecordImage::Layout> again = Read(second, written, format);
    fuzz::Check(again.has_value(), "what the editor writes, it reads");
    fuzz::Check(again->base == layout->base && Bytes(second) == Bytes(first),
                "the records written back describe the same bytes at the same addresses");
    first.Remove();
    second.Remove();
    return 0;
}
