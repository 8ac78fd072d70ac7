#include "BlockPatches.h"

#include "formats/ImageRecords.h"

namespace production {

using core::Family;
using core::HexAddress;

namespace {

QString Hex(int address) {
    return HexAddress(quint32(address));
}

std::optional<int> ParseLength(const QString& text) {
    bool ok = false;
    const int value = text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)
                          ? text.mid(2).toInt(&ok, 16)
                          : text.toInt(&ok, 10);
    return ok && value > 0 && value <= 0x10000 ? std::optional<int>(value) : std::nullopt;
}

bool Overlap(int first1, int last1, int first2, int last2) {
    return first1 <= last2 && first2 <= last1;
}

QString Outside(const QString& option, int first, int last, const Family& family) {
    if (first >= family.eepromFirst && last <= family.EepromLast()) {
        return QString();
    }
    return QStringLiteral("%1: %2 to %3 lies outside the EEPROM (%4 to %5)")
        .arg(option, Hex(first), Hex(last), Hex(family.eepromFirst), Hex(family.EepromLast()));
}

// Whether sum's range holds the field of other.
bool Covers(const ChecksumField& sum, const ChecksumField& other, const Family& family) {
    return Overlap(sum.first.value_or(family.eepromFirst), sum.last.value_or(family.EepromLast()),
                   other.address, other.FieldLast());
}

} // namespace

std::optional<KeepRange> ParseKeepRange(const QString& text, QString* why) {
    const QStringList parts = text.split(QLatin1Char(':'));
    const std::optional<int> address =
        parts.size() == 2 ? core::ParseHexAddress(parts[0]) : std::nullopt;
    const std::optional<int> length = parts.size() == 2 ? ParseLength(parts[1]) : std::nullopt;
    if (!address || !length) {
        *why = QStringLiteral("--keep %1: give ADDR:LEN, as 1E10h:16 or 0x1E10:0x10").arg(text);
        return std::nullopt;
    }
    return KeepRange{*address, *length, QStringLiteral("--keep ") + text};
}

std::optional<ChecksumField> ParseChecksumField(const QString& text, QString* why) {
    const QStringList parts = text.split(QLatin1Char(':'));
    ChecksumField field;
    field.given = QStringLiteral("--checksum ") + text;
    const std::optional<int> address =
        parts.size() >= 2 && parts.size() <= 3 ? core::ParseHexAddress(parts[0]) : std::nullopt;
    if (!address) {
        *why = QStringLiteral("%1: give ADDR:ALG[:FROM-TO], as 1FFEh:crc16:1E00h-1FFDh")
                   .arg(field.given);
        return std::nullopt;
    }
    field.address = *address;
    const std::optional<core::ChecksumKind> kind = core::ParseChecksumKind(parts[1]);
    if (!kind) {
        *why = QStringLiteral("%1: unknown checksum '%2'; give sum8, sum16, sum16le, crc16, "
                              "crc32 or crc32le")
                   .arg(field.given, parts[1]);
        return std::nullopt;
    }
    field.kind = *kind;
    if (parts.size() == 3) {
        const QStringList ends = parts[2].split(QLatin1Char('-'));
        field.first = ends.size() == 2 ? core::ParseHexAddress(ends[0]) : std::nullopt;
        field.last = ends.size() == 2 ? core::ParseHexAddress(ends[1]) : std::nullopt;
        if (!field.first || !field.last || *field.first > *field.last) {
            *why = QStringLiteral("%1: '%2' is no range; give FROM-TO, as 1E00h-1FFDh")
                       .arg(field.given, parts[2]);
            return std::nullopt;
        }
    }
    return field;
}

QString BlockPatches::Conflict(const Family& family,
                               const std::optional<core::SerialField>& serial) const {
    const QString serialGiven =
        serial ? QStringLiteral("--serial at %1 to %2")
                     .arg(Hex(serial->address), Hex(serial->address + serial->bytes - 1))
               : QString();
    for (const KeepRange& range : keep) {
        QString why = Outside(range.given, range.address, range.Last(), family);
        if (why.isEmpty() && serial &&
            Overlap(range.address, range.Last(), serial->address,
                    serial->address + serial->bytes - 1)) {
            why = QStringLiteral("%1 overlaps %2").arg(range.given, serialGiven);
        }
        for (const ChecksumField& sum : checksums) {
            if (why.isEmpty() &&
                Overlap(range.address, range.Last(), sum.address, sum.FieldLast())) {
                why = QStringLiteral("%1 overlaps the field of %2").arg(range.given, sum.given);
            }
        }
        if (!why.isEmpty()) {
            return why;
        }
    }
    for (int i = 0; i < checksums.size(); ++i) {
        const ChecksumField& sum = checksums[i];
        QString why = Outside(sum.given, sum.address, sum.FieldLast(), family);
        if (why.isEmpty() && sum.first) {
            why = Outside(sum.given, *sum.first, *sum.last, family);
        }
        if (why.isEmpty() && sum.first &&
            Overlap(*sum.first, *sum.last, sum.address, sum.FieldLast())) {
            why = QStringLiteral("%1: the range holds the checksum's own field").arg(sum.given);
        }
        if (why.isEmpty() && serial &&
            Overlap(sum.address, sum.FieldLast(), serial->address,
                    serial->address + serial->bytes - 1)) {
            why = QStringLiteral("%1 overlaps %2").arg(sum.given, serialGiven);
        }
        for (int j = i + 1; j < checksums.size() && why.isEmpty(); ++j) {
            const ChecksumField& later = checksums[j];
            if (Overlap(sum.address, sum.FieldLast(), later.address, later.FieldLast())) {
                why = QStringLiteral("%1 overlaps %2").arg(sum.given, later.given);
            } else if (Covers(sum, later, family)) {
                why = Covers(later, sum, family)
                          ? QStringLiteral("%1 and %2 each cover the other's field: give one "
                                           "of them a range without the other")
                                .arg(sum.given, later.given)
                          : QStringLiteral("%1 covers the field of %2, which is written after "
                                           "it: give %2 first")
                                .arg(sum.given, later.given);
            }
        }
        if (!why.isEmpty()) {
            return why;
        }
    }
    return QString();
}

QByteArray BlockPatches::Keep(const QByteArray& block, const QByteArray& chip,
                              const Family& family) const {
    QByteArray kept = block;
    for (const KeepRange& range : keep) {
        const int at = range.address - family.eepromFirst;
        kept.replace(at, range.length, chip.mid(at, range.length));
    }
    return kept;
}

QByteArray BlockPatches::WriteChecksums(const QByteArray& block, const Family& family,
                                        QStringList* said) const {
    QByteArray patched = block;
    for (const ChecksumField& sum : checksums) {
        const int field = sum.address - family.eepromFirst;
        const int width = core::ChecksumWidth(sum.kind);
        QByteArray covered;
        QString over;
        if (sum.first) {
            covered = patched.mid(*sum.first - family.eepromFirst, *sum.last - *sum.first + 1);
            over = Hex(*sum.first) + QLatin1Char('-') + Hex(*sum.last);
        } else {
            covered = patched.left(field) + patched.mid(field + width);
            over = field == 0
                       ? Hex(sum.FieldLast() + 1) + QLatin1Char('-') + Hex(family.EepromLast())
                   : field + width == family.blockSize
                       ? Hex(family.eepromFirst) + QLatin1Char('-') + Hex(sum.address - 1)
                       : QStringLiteral("%1-%2 but the field")
                             .arg(Hex(family.eepromFirst), Hex(family.EepromLast()));
        }
        const quint32 value = core::ChecksumOf(sum.kind, covered);
        patched.replace(field, width, core::ChecksumBytes(sum.kind, value));
        said->append(QStringLiteral("%1 %2 at %3 over %4")
                         .arg(core::ChecksumKindName(sum.kind),
                              core::ChecksumValueText(sum.kind, value), Hex(sum.address), over));
    }
    return patched;
}

QStringList BlockPatches::KeptText() const {
    QStringList said;
    for (const KeepRange& range : keep) {
        said.append(QStringLiteral("kept %1 bytes at %2 from the chip")
                        .arg(range.length)
                        .arg(Hex(range.address)));
    }
    return said;
}

} // namespace production
