#pragma once

#include "core/ValueCodec.h"

#include <QList>
#include <QString>

class EditorDocument;

// The data inspector: the bytes at the cursor read as each of the inspector's types, and a
// value typed for one of them written back as its bytes.
namespace CursorValues {

// Shown for a value that would run past the end of the file.
inline const QString NoValue = QStringLiteral("\u2014");

struct Row {
    core::ValueFormat format;
    QString name;  // "u16le"
    QString value; // decoded, or NoValue
};

// The rows for the bytes at 1-based position: one read of at most 8 bytes, so that it can
// follow every move of the cursor.
QList<Row> Rows(EditorDocument& document, qint64 position);

// text as format's bytes at position, one step of the history. False, after telling why
// through the document's observer, when text is no value of format or the value runs past the
// end of the file; then nothing is written.
bool WriteValue(EditorDocument& document, qint64 position, core::ValueFormat format,
                const QString& text);

} // namespace CursorValues
