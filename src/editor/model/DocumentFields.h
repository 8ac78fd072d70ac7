#pragma once

#include "EditorDocument.h"

#include <QList>
#include <QSet>
#include <QString>
#include <memory>
#include <optional>

namespace core {
struct Family;
}
namespace production {
struct FieldLayout;
struct FieldImage;
} // namespace production

// The named fields of a recipe or a layout file over the document: each field's address,
// type, value and checksum state as the fields panel shows them, a value typed for a field
// written back, the checksum fields made right, and which of them went wrong since the file
// was opened (or last saved, or the layout loaded). Addresses follow the image: the records'
// own in an Intel HEX or S-record image, the device's EEPROM start for a raw image of one
// block, else offsets from 0.
class DocumentFields {
public:
    using Span = EditorDocument::Span;
    struct Row {
        QString name;
        QString address; // "1E10h"
        QString type;    // "i16le", "crc16 1E00h-1FFDh"
        QString value;   // decoded, or why there is none ("outside the image")
        QString state;   // a checksum field's "crc 3A5Fh ✓"; empty for the others
    };

    DocumentFields();
    ~DocumentFields();
    DocumentFields(const DocumentFields&) = delete;
    DocumentFields& operator=(const DocumentFields&) = delete;

    // Reads the [fields] of path; false, with why (the file and line), when it cannot.
    bool Load(const QString& path, QString* why);
    const QString& Path() const { return path_; }
    bool Loaded() const { return layout_ != nullptr; }

    QList<Row> Rows(EditorDocument& document) const;
    // The bytes of field index in the document; none when they lie outside it.
    std::optional<Span> SpanOf(EditorDocument& document, int index) const;
    // text as field index's value, one step; false after telling why.
    bool Write(EditorDocument& document, int index, const QString& text) const;
    // Writes every checksum field that does not match, all in one step: the bytes written;
    // none after telling a failure.
    std::optional<QList<Span>> UpdateChecksums(EditorDocument& document);
    // The checksum fields that match now are those whose going wrong Broken reports.
    void SetBaseline(EditorDocument& document);
    // The checksum fields that matched at the baseline and do not now.
    QStringList Broken(EditorDocument& document) const;

private:
    // The document as the fields read it, from the address of its first byte.
    production::FieldImage ImageOf(EditorDocument& document) const;

    std::unique_ptr<production::FieldLayout> layout_;
    const core::Family* family_ = nullptr; // of the recipe's device
    QString path_;
    QSet<QString> matched_; // the checksum fields right at the baseline
};
