#pragma once

#include "core/Checksums.h"
#include "core/DeviceCatalogue.h"
#include "production/SerialNumbers.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

// What PROGRAM lays into the image besides the serial number: ranges of the chip's own bytes
// that survive (its calibration) and checksum fields the firmware tests at start-up. All
// addresses are the chip's (1E00h..1FFFh), both ends included.
namespace production {

// --keep ADDR:LEN.
struct KeepRange {
    int address = 0;
    int length = 0;
    QString given; // as the user wrote it, to name it

    int Last() const { return address + length - 1; }
};
// "1E10h:16", "0x1E10:0x10"; nothing, with why, for anything else.
std::optional<KeepRange> ParseKeepRange(const QString& text, QString* why);

// --checksum ADDR:ALG[:FROM-TO].
struct ChecksumField {
    int address = 0;
    core::ChecksumKind kind = core::ChecksumKind::Crc16;
    std::optional<int> first, last; // nothing: the whole block but the field
    QString given;

    int FieldLast() const { return address + core::ChecksumWidth(kind) - 1; }
};
std::optional<ChecksumField> ParseChecksumField(const QString& text, QString* why);

struct BlockPatches {
    QList<KeepRange> keep;
    QList<ChecksumField> checksums;
    // --skip-same: a chip that already holds the block (its own number in the serial field)
    // is left as it is.
    bool skipSame = false;

    bool Empty() const { return keep.isEmpty() && checksums.isEmpty(); }
    // PROGRAM reads the chip first.
    bool ReadsChipFirst() const { return skipSame || !keep.isEmpty(); }
    // Why these, with the serial number's field when chips are numbered, cannot apply to a chip
    // of family: a range outside its EEPROM, two fields that overlap, a checksum over its own
    // field or over one written after it. "" when they can.
    QString Conflict(const core::Family& family,
                     const std::optional<core::SerialField>& serial) const;
    // block with the kept ranges' bytes taken from chip (both a whole block of family).
    QByteArray Keep(const QByteArray& block, const QByteArray& chip,
                    const core::Family& family) const;
    // block with every checksum written, in the order given; said gets a sentence for each.
    QByteArray WriteChecksums(const QByteArray& block, const core::Family& family,
                              QStringList* said) const;
    // "kept 16 bytes at 1E10h from the chip", one a range.
    QStringList KeptText() const;
};

} // namespace production
