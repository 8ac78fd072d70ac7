#include "DocumentFields.h"

#include "CursorValues.h"
#include "EditorObserver.h"
#include "core/DeviceCatalogue.h"
#include "production/FieldLayout.h"

namespace {

QString Hex(qint64 address) {
    return QString::number(address, 16).toUpper() + QLatin1Char('h');
}

} // namespace

DocumentFields::DocumentFields() = default;
DocumentFields::~DocumentFields() = default;

bool DocumentFields::Load(const QString& path, QString* why) {
    const std::optional<production::Recipe> recipe = production::ReadRecipeFields(path, why);
    if (!recipe) {
        return false;
    }
    std::optional<production::FieldLayout> layout =
        production::FieldLayoutOf(path, recipe->fields, why);
    if (!layout) {
        return false;
    }
    layout_ = std::make_unique<production::FieldLayout>(std::move(*layout));
    path_ = path;
    family_ = nullptr;
    if (const std::optional<QString> device = recipe->Value(QStringLiteral("device"))) {
        if (const core::DeviceRow* row = core::FindDevice(*device)) {
            family_ = &row->DeviceFamily();
        }
    }
    matched_.clear();
    return true;
}

production::FieldImage DocumentFields::ImageOf(EditorDocument& document) const {
    const qint64 length = document.Length();
    // Without a device named, a raw image of one block is taken for the family whose block
    // it is: the families of one block size share their EEPROM's start.
    const core::Family* family = family_;
    for (const core::Family& f : core::Families) {
        if (family == nullptr && f.blockSize == length) {
            family = &f;
        }
    }
    const bool records = document.Records().has_value();
    return {production::FieldOrigin(records, document.Base(), length, family), length,
            [&document](qint64 offset, char* data, qint64 size) {
                return document.Read(offset + 1, data, size);
            }};
}

QList<DocumentFields::Row> DocumentFields::Rows(EditorDocument& document) const {
    QList<Row> rows;
    if (!layout_) {
        return rows;
    }
    const production::FieldImage image = ImageOf(document);
    for (const production::Field& field : layout_->fields) {
        const production::FieldState state = production::Evaluate(field, image);
        rows.append({field.name, Hex(field.address), field.type, state.value,
                     state.isChecksum && state.inside ? production::FieldStateText(field, state)
                                                      : QString()});
    }
    return rows;
}

std::optional<DocumentFields::Span> DocumentFields::SpanOf(EditorDocument& document,
                                                           int index) const {
    if (!layout_ || index < 0 || index >= layout_->fields.size()) {
        return std::nullopt;
    }
    const production::Field& field = layout_->fields[index];
    const qint64 offset = field.address - ImageOf(document).origin;
    if (offset < 0 || offset + field.Width() > document.Length()) {
        return std::nullopt;
    }
    return Span{offset + 1, field.Width()};
}

bool DocumentFields::Write(EditorDocument& document, int index, const QString& text) const {
    const std::optional<Span> span = SpanOf(document, index);
    if (!span) {
        if (layout_ && index >= 0 && index < layout_->fields.size()) {
            document.Observer().Tell(
                QStringLiteral("The field %1 at %2 lies outside this image.")
                    .arg(layout_->fields[index].name, Hex(layout_->fields[index].address)),
                EditorObserver::Tone::Warning);
        }
        return false;
    }
    const production::Field& field = layout_->fields[index];
    // A checksum field takes its stored value as hex bytes, as many as it holds.
    const core::ValueFormat format =
        field.checksum ? core::ValueFormat{core::ValueType::Bytes, field.Width()} : field.format;
    return CursorValues::WriteValue(document, span->position, format, text);
}

std::optional<QList<DocumentFields::Span>>
DocumentFields::UpdateChecksums(EditorDocument& document) {
    QList<Span> written;
    if (!layout_) {
        return written;
    }
    const production::FieldImage image = ImageOf(document);
    QList<QPair<qint64, QByteArray>> ranges = production::ChecksumUpdates(*layout_, image);
    for (auto& [address, bytes] : ranges) {
        address = address - image.origin + 1; // to the document's positions
        written.append({address, bytes.size()});
    }
    if (!ranges.isEmpty() && !document.WriteRanges(ranges)) {
        return std::nullopt;
    }
    // Made right on purpose: from now on, going wrong is asked about at a save.
    for (const int i : layout_->checksumOrder) {
        const production::FieldState state = production::Evaluate(layout_->fields[i], image);
        if (state.inside && state.matches) {
            matched_.insert(layout_->fields[i].name);
        }
    }
    return written;
}

void DocumentFields::SetBaseline(EditorDocument& document) {
    matched_.clear();
    if (!layout_) {
        return;
    }
    const production::FieldImage image = ImageOf(document);
    for (const int i : layout_->checksumOrder) {
        const production::FieldState state = production::Evaluate(layout_->fields[i], image);
        if (state.inside && state.matches) {
            matched_.insert(layout_->fields[i].name);
        }
    }
}

QStringList DocumentFields::Broken(EditorDocument& document) const {
    QStringList broken;
    if (!layout_ || matched_.isEmpty()) {
        return broken;
    }
    const production::FieldImage image = ImageOf(document);
    for (const int i : layout_->checksumOrder) {
        const production::Field& field = layout_->fields[i];
        if (matched_.contains(field.name) && !production::Evaluate(field, image).matches) {
            broken << field.name;
        }
    }
    return broken;
}
