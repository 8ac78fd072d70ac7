#include "CellText.h"
#include "EditSession.h"
#include "LateProgress.h"
#include "core/Checksums.h"
#include "platform/Windows1252.h"

#include <QCoreApplication>

using Tone = EditorObserver::Tone;

namespace {

QString Tr(const char* text) {
    return QCoreApplication::translate("EditSession", text);
}

} // namespace

// ---- Copy, paste, fill ----

std::optional<QString> EditSession::Copy(bool hex) {
    if (!Loaded()) {
        return std::nullopt;
    }
    CompletePending();
    const Span span = Selection().value_or(Span{view_.position, 1});
    if (span.length > MaxCopy) {
        observer_.Tell(Tr("The selection is %1 bytes; Copy takes up to %2 bytes at once. Select "
                          "less, or use Fill Selection or Save As for more.")
                           .arg(span.length)
                           .arg(MaxCopy),
                       Tone::Warning);
        return std::nullopt;
    }
    QByteArray bytes(static_cast<qsizetype>(span.length), Qt::Uninitialized);
    if (document_.Read(span.position, bytes.data(), span.length) != span.length) {
        return std::nullopt;
    }
    if (!hex) {
        QString text;
        text.reserve(bytes.size());
        for (const char byte : bytes) {
            text += platform::FromWindows1252(static_cast<unsigned char>(byte));
        }
        return text;
    }
    return QString::fromLatin1(bytes.toHex(' ').toUpper());
}

bool EditSession::Paste(const QString& text, bool hex) {
    if (!Loaded()) {
        return false;
    }
    CompletePending();
    QString why;
    const std::optional<QByteArray> parsed =
        hex ? SearchPattern::HexBytes(text, &why) : SearchPattern::TextBytes(text, &why);
    if (!parsed) {
        observer_.Tell(Tr("Nothing was pasted: %1").arg(why), Tone::Warning);
        return false;
    }
    const QByteArray& bytes = *parsed;
    if (bytes.isEmpty()) {
        observer_.Tell(Tr("The clipboard is empty: nothing was pasted."), Tone::Information);
        return false;
    }
    const qint64 at = Selection() ? Selection()->position : view_.position;
    const qint64 room = document_.Length() - at + 1;
    if (bytes.size() > room) {
        observer_.Tell(Tr("%1 bytes do not fit: the paste holds %2 bytes, and %3 are left from "
                          "offset %4 to the end. Nothing was pasted.")
                           .arg(bytes.size() - room)
                           .arg(bytes.size())
                           .arg(room)
                           .arg(document_.OffsetText(document_.OffsetOf(at))),
                       Tone::Warning);
        return false;
    }
    const bool done = document_.WriteRange(document_.SavingCaption(), at, bytes.size(), bytes);
    if (done) {
        selectionAnchor_ = at;
        view_ = Navigation::Show(view_, at + bytes.size() - 1, document_.Length());
    }
    return done;
}

bool EditSession::Fill(const QByteArray& pattern) {
    const std::optional<Span> span = Selection();
    if (!Loaded() || !span || pattern.isEmpty()) {
        return false;
    }
    CompletePending();
    return document_.WriteRange(Tr("Filling... (Esc or Stop ends the fill)"), span->position,
                                span->length, pattern);
}

std::optional<EditSession::Sums> EditSession::SelectionSums() {
    const std::optional<Span> span = Selection();
    if (!span) {
        return std::nullopt;
    }
    constexpr qint64 Piece = qint64(4) << 20;
    Sums sums;
    quint32 crc = 0;
    quint32 sum = 0;
    QByteArray buffer(static_cast<qsizetype>(std::min(span->length, Piece)), Qt::Uninitialized);
    LateProgress progress(observer_, Tr("Checksums... (Esc or Stop ends them)"));
    bool stopped = false;
    for (qint64 done = 0; done < span->length && !stopped;) {
        const qint64 size = std::min(span->length - done, Piece);
        if (document_.Read(span->position + done, buffer.data(), size) != size) {
            stopped = true;
            break;
        }
        crc = core::Crc32Update(crc, buffer.constData(), size);
        sum += core::ByteSum(QByteArray::fromRawData(buffer.constData(), size));
        done += size;
        // Only a selection of many pieces shows its progress and may be stopped.
        if (done < span->length && done >= 4 * Piece) {
            stopped = !progress(static_cast<int>(100 * done / span->length));
        }
    }
    if (stopped) {
        return std::nullopt;
    }
    sums.crc = crc;
    sums.sum = static_cast<quint16>(sum);
    return sums;
}
