#include "CursorValues.h"

#include "EditorDocument.h"
#include "EditorObserver.h"

#include <algorithm>

namespace CursorValues {

namespace {

struct Formats {
    QList<core::ValueFormat> formats = core::CursorFormats();
    QStringList names;
    int widest = 0;
    Formats() {
        for (const core::ValueFormat f : formats) {
            names << core::ValueFormatName(f);
            widest = std::max(widest, core::ValueWidth(f));
        }
    }
};

// Figured once: the cursor's every move reads them.
const Formats& Inspected() {
    static const Formats formats;
    return formats;
}

} // namespace

QList<Row> Rows(EditorDocument& document, qint64 position) {
    const Formats& all = Inspected();
    char bytes[16];
    const qint64 got = document.Read(position, bytes, std::min<qint64>(all.widest, sizeof bytes));
    QList<Row> rows;
    rows.reserve(all.formats.size());
    for (int i = 0; i < all.formats.size(); ++i) {
        const core::ValueFormat f = all.formats[i];
        const int width = core::ValueWidth(f);
        rows.append({f, all.names[i],
                     width <= got ? core::DecodeValue(f, QByteArray(bytes, width)) : NoValue});
    }
    return rows;
}

bool WriteValue(EditorDocument& document, qint64 position, core::ValueFormat format,
                const QString& text) {
    QString why;
    const std::optional<QByteArray> bytes = core::EncodeValue(format, text, &why);
    if (bytes && position + bytes->size() - 1 > document.Length()) {
        why = QStringLiteral("%1 bytes from %2 run past the end of the file")
                  .arg(bytes->size())
                  .arg(document.OffsetText(document.OffsetOf(position)));
    } else if (bytes) {
        return document.WriteRanges({{position, *bytes}});
    }
    document.Observer().Tell(QStringLiteral("Cannot write \"%1\" as %2: %3.")
                                 .arg(text, core::ValueFormatName(format), why),
                             EditorObserver::Tone::Warning);
    return false;
}

} // namespace CursorValues
