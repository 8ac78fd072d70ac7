#include "FieldLayout.h"

#include "formats/ImageRecords.h"

#include <QRegularExpression>
#include <algorithm>

namespace production {

namespace {

QString Hex(qint64 address) {
    return core::HexAddress(quint32(address));
}

bool Overlap(qint64 first1, qint64 last1, qint64 first2, qint64 last2) {
    return first1 <= last2 && first2 <= last1;
}

// Whether sum's range holds the bytes of other.
bool Covers(const Field& sum, const Field& other) {
    return Overlap(*sum.checksum->first, *sum.checksum->last, other.address, other.Last());
}

// The field of one [fields] line; nothing, with why (without the line), for one that is not.
std::optional<Field> ParseField(const RecipeEntry& entry, QString* why) {
    static const QRegularExpression name(QStringLiteral("^[A-Za-z_][A-Za-z0-9_.-]*$"));
    if (!name.match(entry.key).hasMatch()) {
        *why = QStringLiteral("'%1' is not a field name: give letters, digits, _ . or -, "
                              "starting with a letter")
                   .arg(entry.key);
        return std::nullopt;
    }
    Field field;
    field.name = entry.key;
    field.line = entry.line;
    const qsizetype colon = entry.value.indexOf(QLatin1Char(':'));
    const std::optional<int> address =
        colon < 0 ? std::nullopt : core::ParseHexAddress(entry.value.left(colon));
    if (!address) {
        *why = QStringLiteral("%1: give ADDRESS:TYPE, as 1E10h:i16le, not '%2'")
                   .arg(field.name, entry.value);
        return std::nullopt;
    }
    field.address = *address;
    field.type = entry.value.mid(colon + 1).trimmed();
    if (const auto format = core::ParseValueFormat(field.type.toLower())) {
        field.format = *format;
        return field;
    }
    if (!core::ParseChecksumKind(field.type.section(QLatin1Char(':'), 0, 0))) {
        *why = QStringLiteral("%1: unknown type '%2'; give u8, i8, u16le, u16be, i16le, i16be, "
                              "u32le .. i64be, f32le, f32be, f64le, f64be, binary, char, "
                              "bcd:N, bytes:N, ascii:N, or a checksum as crc16:FROM-TO")
                   .arg(field.name, field.type);
        return std::nullopt;
    }
    // A checksum field is a --checksum with its range: read as that one is.
    const QString text = entry.value;
    field.checksum = ParseChecksumField(text, why);
    if (!field.checksum) {
        const QString given = QStringLiteral("--checksum %1: ").arg(text);
        *why = field.name + QStringLiteral(": ") +
               (why->startsWith(given) ? why->mid(given.size()) : *why);
        return std::nullopt;
    }
    field.checksum->given = field.name;
    if (!field.checksum->first) {
        *why = QStringLiteral("%1: give the range the checksum covers, as %2:1E00h-1FFDh")
                   .arg(field.name, field.type);
        return std::nullopt;
    }
    if (Covers(field, field)) {
        *why = QStringLiteral("%1: the range %2-%3 holds the checksum's own bytes")
                   .arg(field.name, Hex(*field.checksum->first), Hex(*field.checksum->last));
        return std::nullopt;
    }
    return field;
}

std::optional<QByteArray> ReadAt(const FieldImage& image, qint64 address, qint64 size) {
    if (address < image.origin || address + size > image.origin + image.length) {
        return std::nullopt;
    }
    QByteArray bytes(size, '\0');
    if (image.read(address - image.origin, bytes.data(), size) != size) {
        return std::nullopt;
    }
    return bytes;
}

} // namespace

int Field::Width() const {
    return checksum ? core::ChecksumWidth(checksum->kind) : core::ValueWidth(format);
}

std::optional<FieldLayout> FieldLayoutOf(const QString& path, const QList<RecipeEntry>& entries,
                                         QString* why) {
    FieldLayout layout;
    layout.path = path;
    const auto fail = [&](int line, const QString& text) {
        *why = QStringLiteral("%1:%2: %3").arg(path).arg(line).arg(text);
        return std::nullopt;
    };
    for (const RecipeEntry& entry : entries) {
        QString fault;
        const std::optional<Field> field = ParseField(entry, &fault);
        if (!field) {
            return fail(entry.line, fault);
        }
        for (const Field& before : layout.fields) {
            if (before.name.compare(field->name, Qt::CaseInsensitive) == 0) {
                return fail(entry.line, QStringLiteral("%1 is named before, on line %2")
                                            .arg(field->name)
                                            .arg(before.line));
            }
            if (Overlap(before.address, before.Last(), field->address, field->Last())) {
                return fail(
                    entry.line,
                    QStringLiteral("%1 (%2 to %3) overlaps %4 of line %5 (%6 to %7)")
                        .arg(field->name, Hex(field->address), Hex(field->Last()), before.name)
                        .arg(before.line)
                        .arg(Hex(before.address), Hex(before.Last())));
            }
        }
        layout.fields.append(*field);
    }
    // A checksum is figured once those whose fields its range holds are.
    QList<int> waiting;
    for (int i = 0; i < layout.fields.size(); ++i) {
        if (layout.fields[i].checksum) {
            waiting.append(i);
        }
    }
    while (!waiting.isEmpty()) {
        const auto ready = std::find_if(waiting.begin(), waiting.end(), [&](int i) {
            return std::none_of(waiting.begin(), waiting.end(), [&](int j) {
                return j != i && Covers(layout.fields[i], layout.fields[j]);
            });
        });
        if (ready == waiting.end()) {
            const Field& sum = layout.fields[waiting[0]];
            return fail(sum.line, QStringLiteral("%1 is in a ring of checksums each over "
                                                 "another's field: give one a range without them")
                                      .arg(sum.name));
        }
        layout.checksumOrder.append(*ready);
        waiting.erase(ready);
    }
    return layout;
}

std::optional<FieldLayout> ReadFieldLayout(const QString& path, QString* why) {
    const std::optional<Recipe> recipe = ReadRecipeFields(path, why);
    return recipe ? FieldLayoutOf(path, recipe->fields, why) : std::nullopt;
}

qint64 FieldOrigin(bool records, qint64 recordsBase, qint64 rawLength, const core::Family* family) {
    if (records) {
        return recordsBase;
    }
    return family && rawLength == family->blockSize ? family->eepromFirst : 0;
}

FieldImage FieldImageOf(const QByteArray& bytes, qint64 origin) {
    return {origin, bytes.size(), [bytes](qint64 offset, char* data, qint64 size) {
                const qint64 given = qBound<qint64>(0, bytes.size() - offset, size);
                std::copy_n(bytes.constData() + offset, given, data);
                return given;
            }};
}

FieldState Evaluate(const Field& field, const FieldImage& image) {
    FieldState state;
    state.isChecksum = field.checksum.has_value();
    const std::optional<QByteArray> bytes = ReadAt(image, field.address, field.Width());
    if (!bytes) {
        state.value = QStringLiteral("outside the image");
        return state;
    }
    if (!field.checksum) {
        state.inside = true;
        state.value = core::DecodeValue(field.format, *bytes);
        return state;
    }
    const ChecksumField& sum = *field.checksum;
    const std::optional<QByteArray> covered = ReadAt(image, *sum.first, *sum.last - *sum.first + 1);
    if (!covered) {
        state.value = QStringLiteral("its range %1-%2 lies outside the image")
                          .arg(Hex(*sum.first), Hex(*sum.last));
        return state;
    }
    // The field's byte order is the one ChecksumBytes writes.
    const bool leastFirst = core::ChecksumBytes(sum.kind, 1).startsWith('\1');
    for (qsizetype i = 0; i < bytes->size(); ++i) {
        const qsizetype at = leastFirst ? bytes->size() - 1 - i : i;
        state.stored = state.stored << 8 | static_cast<unsigned char>(bytes->at(at));
    }
    state.inside = true;
    state.expected = core::ChecksumOf(sum.kind, *covered);
    state.matches = state.stored == state.expected;
    state.value = core::ChecksumValueText(sum.kind, state.stored);
    return state;
}

QString FieldValueText(const Field& field, const FieldState& state) {
    if (!field.checksum || !state.inside) {
        return state.value;
    }
    if (state.matches) {
        return state.value + QStringLiteral(" \u2713");
    }
    return QStringLiteral("%1, should be %2 \u2717")
        .arg(state.value, core::ChecksumValueText(field.checksum->kind, state.expected));
}

QString FieldStateText(const Field& field, const FieldState& state) {
    return field.name + QLatin1Char(' ') + FieldValueText(field, state);
}

QList<QPair<qint64, QByteArray>> ChecksumUpdates(const FieldLayout& layout,
                                                 const FieldImage& image) {
    QList<QPair<qint64, QByteArray>> updates;
    // The image as it will be once the updates before are written.
    FieldImage updated = image;
    updated.read = [&](qint64 offset, char* data, qint64 size) {
        const qint64 given = image.read(offset, data, size);
        for (const auto& [address, bytes] : updates) {
            for (qsizetype i = 0; i < bytes.size(); ++i) {
                const qint64 at = address - image.origin + i - offset;
                if (at >= 0 && at < given) {
                    data[at] = bytes[i];
                }
            }
        }
        return given;
    };
    for (const int i : layout.checksumOrder) {
        const Field& field = layout.fields[i];
        const FieldState state = Evaluate(field, updated);
        if (state.inside && !state.matches) {
            updates.append(
                {field.address, core::ChecksumBytes(field.checksum->kind, state.expected)});
        }
    }
    return updates;
}

} // namespace production
