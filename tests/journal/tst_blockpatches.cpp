#include "production/BlockPatches.h"

#include <QProcess>
#include <QtTest>

using core::Families;
using production::BlockPatches;

namespace {

const core::Family& X = Families[0]; // 1E00h-1FFFh
const core::Family& Y = Families[1]; // 1F00h-1FFFh

BlockPatches Patches(const QStringList& keep, const QStringList& checksums) {
    BlockPatches patches;
    QString why;
    for (const QString& text : keep) {
        patches.keep.append(production::ParseKeepRange(text, &why).value());
    }
    for (const QString& text : checksums) {
        patches.checksums.append(production::ParseChecksumSpec(text, &why).value());
    }
    return patches;
}

QByteArray Block(int size, int seed) {
    QByteArray block(size, '\0');
    for (int i = 0; i < size; ++i) {
        block[i] = char((i * 37 + seed * 11 + (i >> 3)) & 0xFF);
    }
    return block;
}

} // namespace

// Calibration kept from the chip and checksum fields written after every other patch, and the
// options refused before anything is sent when they cannot apply.
class BlockPatchesTest : public QObject {
    Q_OBJECT

private slots:
    // Each algorithm against Python's zlib and binascii (CRC-16/CCITT-FALSE is crc_hqx from
    // FFFFh), over the standard check text and a block, stored in its byte order.
    void checksumsMatchAnIndependentComputation() {
        const QList<QByteArray> inputs = {"123456789", Block(512, 3), QByteArray()};
        QStringList script{QStringLiteral("import sys, zlib, binascii")};
        for (const QByteArray& data : inputs) {
            script << QStringLiteral("d = bytes.fromhex('%1')").arg(QLatin1String(data.toHex()))
                   << QStringLiteral("print('%02X %04X %04X %04X %08X' % (sum(d) % 256, "
                                     "sum(d) % 65536, sum(d) % 65536, binascii.crc_hqx(d, 0xFFFF), "
                                     "zlib.crc32(d)))");
        }
        QProcess python;
        python.start(QStringLiteral("python3"), {QStringLiteral("-c"), script.join(u'\n')});
        if (!python.waitForFinished(30000) || python.exitCode() != 0) {
            QSKIP("python3 is not installed: the independent checksums cannot be made");
        }
        const QStringList lines = QString::fromLatin1(python.readAllStandardOutput()).split(u'\n');
        const core::ChecksumKind kinds[] = {core::ChecksumKind::Sum8, core::ChecksumKind::Sum16,
                                            core::ChecksumKind::Sum16Le, core::ChecksumKind::Crc16,
                                            core::ChecksumKind::Crc32};
        for (int i = 0; i < inputs.size(); ++i) {
            QStringList mine;
            for (core::ChecksumKind kind : kinds) {
                mine << core::ChecksumValueText(kind, core::ChecksumOf(kind, inputs[i])).chopped(1);
            }
            QCOMPARE(mine.join(u' '), lines[i]);
        }
        QCOMPARE(core::Crc16CcittFalse("123456789"), quint16(0x29B1)); // the catalogue's check
        const auto stored = [](core::ChecksumKind kind) {
            return core::ChecksumBytes(kind, 0x12345678).toHex().toUpper();
        };
        QCOMPARE(stored(core::ChecksumKind::Sum8), "78");
        QCOMPARE(stored(core::ChecksumKind::Sum16), "5678");
        QCOMPARE(stored(core::ChecksumKind::Sum16Le), "7856");
        QCOMPARE(stored(core::ChecksumKind::Crc16), "5678");
        QCOMPARE(stored(core::ChecksumKind::Crc32), "12345678");
        QCOMPARE(stored(core::ChecksumKind::Crc32Le), "78563412");
    }

    void optionsRefused_data() {
        QTest::addColumn<QStringList>("keep");
        QTest::addColumn<QStringList>("checksums");
        QTest::addColumn<QString>("serial"); // "" for none
        QTest::addColumn<QString>("why");    // "" when they apply
        auto row = [](const char* name, QStringList keep, QStringList sums, const char* serial,
                      const char* why) {
            QTest::newRow(name) << keep << sums << QString::fromLatin1(serial)
                                << QString::fromLatin1(why);
        };
        row("all apart", {"1E10h:16", "1F00h:2"}, {"1FF8h:sum8:1E00h-1E0Fh", "1FFEh:crc16"},
            "1FFCh:2", "");
        row("checksum last over an earlier field", {}, {"1FF0h:sum8:1E00h-1EFFh", "1FFEh:crc16"},
            "", "");
        row("keep outside", {"1DF8h:16"}, {}, "",
            "--keep 1DF8h:16: 1DF8h to 1E07h lies outside the EEPROM (1E00h to 1FFFh)");
        row("keep past the end", {"1FF8h:9"}, {}, "",
            "--keep 1FF8h:9: 1FF8h to 2000h lies outside the EEPROM (1E00h to 1FFFh)");
        row("keep under the serial", {"1FF0h:13"}, {}, "1FFCh:4",
            "--keep 1FF0h:13 overlaps --serial at 1FFCh to 1FFFh");
        row("keep beside the serial", {"1FF0h:12"}, {}, "1FFCh:4", "");
        row("keep under a checksum", {"1FF0h:15"}, {"1FFEh:crc16"}, "",
            "--keep 1FF0h:15 overlaps the field of --checksum 1FFEh:crc16");
        row("field past the end", {}, {"1FFEh:crc32"}, "",
            "--checksum 1FFEh:crc32: 1FFEh to 2001h lies outside the EEPROM (1E00h to 1FFFh)");
        row("range outside", {}, {"1FFEh:crc16:1D00h-1FFDh"}, "",
            "--checksum 1FFEh:crc16:1D00h-1FFDh: 1D00h to 1FFDh lies outside the EEPROM (1E00h "
            "to 1FFFh)");
        row("range over its field", {}, {"1FFEh:crc16:1E00h-1FFEh"}, "",
            "--checksum 1FFEh:crc16:1E00h-1FFEh: the range holds the checksum's own field");
        row("checksum on the serial", {}, {"1FFBh:sum16"}, "1FFCh:4",
            "--checksum 1FFBh:sum16 overlaps --serial at 1FFCh to 1FFFh");
        row("two fields overlap", {}, {"1FFCh:crc32", "1FFEh:sum8:1E00h-1E01h"}, "",
            "--checksum 1FFCh:crc32 overlaps --checksum 1FFEh:sum8:1E00h-1E01h");
        row("each covers the other", {}, {"1FFEh:crc16", "1F00h:sum8"}, "",
            "--checksum 1FFEh:crc16 and --checksum 1F00h:sum8 each cover the other's field: give "
            "one of them a range without the other");
        row("earlier covers a later field", {}, {"1FFEh:crc16", "1F00h:sum8:1E00h-1E01h"}, "",
            "--checksum 1FFEh:crc16 covers the field of --checksum 1F00h:sum8:1E00h-1E01h, which "
            "is written after it: give --checksum 1F00h:sum8:1E00h-1E01h first");
    }
    void optionsRefused() {
        QFETCH(QStringList, keep);
        QFETCH(QStringList, checksums);
        QFETCH(QString, serial);
        QFETCH(QString, why);
        QString unused;
        const std::optional<core::SerialField> field =
            serial.isEmpty() ? std::nullopt : core::ParseSerialField(serial, &unused);
        QCOMPARE(Patches(keep, checksums).Conflict(X, field), why);
    }

    void badOptionText() {
        QString why;
        for (const char* text : {"1E10h", "1E10:16", "1E10h:0", "1E10h:x", "1E10h:16:2"}) {
            QVERIFY(!production::ParseKeepRange(QLatin1String(text), &why));
            QVERIFY2(why.startsWith(QStringLiteral("--keep %1: give ADDR:LEN").arg(text)),
                     qPrintable(why));
        }
        QVERIFY(!production::ParseChecksumSpec(QStringLiteral("1FFEh:md5"), &why));
        QVERIFY(why.contains(QLatin1String("unknown checksum 'md5'")));
        for (const char* range : {"1E00h", "1E10h-1E00h", "1E00h-x"}) {
            QVERIFY(!production::ParseChecksumSpec(QStringLiteral("1FFEh:crc16:") + range, &why));
            QVERIFY2(why.contains(QStringLiteral("'%1' is no range").arg(range)), qPrintable(why));
        }
        QCOMPARE(production::ParseKeepRange(QStringLiteral("0x1E10:0x10"), &why)->length, 16);
    }

    // The chip's bytes where kept, the image's elsewhere; then each checksum over the block as
    // the earlier patches left it, its field at its place in its byte order.
    void keepThenChecksums() {
        const QByteArray image = Block(X.blockSize, 1), chip = Block(X.blockSize, 2);
        const BlockPatches patches =
            Patches({"1E10h:16", "1FFFh:1"},
                    {"1FF0h:sum16:1E00h-1E1Fh", "1FFEh:sum8:1FF0h-1FFDh", "1F00h:crc32le"});
        QVERIFY(patches.Conflict(X, std::nullopt).isEmpty());
        const QByteArray kept = patches.Keep(image, chip, X);
        QCOMPARE(kept,
                 image.left(0x10) + chip.mid(0x10, 16) + image.mid(0x20, 0x1DF) + chip.right(1));
        QCOMPARE(patches.KeptText(), QStringList({"kept 16 bytes at 1E10h from the chip",
                                                  "kept 1 bytes at 1FFFh from the chip"}));

        QStringList said;
        const QByteArray done = patches.WriteChecksums(kept, X, &said);
        const quint16 sum = core::ByteSum(kept.left(0x20));
        QCOMPARE(done.mid(0x1F0, 2), core::ChecksumBytes(core::ChecksumKind::Sum16, sum));
        QCOMPARE(quint8(done[0x1FE]), quint8(core::ByteSum(done.mid(0x1F0, 14))));
        const quint32 crc32 = core::Crc32(done.left(0x100) + done.mid(0x104));
        QCOMPARE(done.mid(0x100, 4), core::ChecksumBytes(core::ChecksumKind::Crc32Le, crc32));
        QCOMPARE(done.left(0x100) + done.mid(0x104, 0xEC) + done.right(1),
                 kept.left(0x100) + kept.mid(0x104, 0xEC) + kept.right(1));
        QCOMPARE(said.value(0), QStringLiteral("sum16 %1 at 1FF0h over 1E00h-1E1Fh")
                                    .arg(core::ChecksumValueText(core::ChecksumKind::Sum16, sum)));
        QCOMPARE(said.value(2),
                 QStringLiteral("crc32le %1 at 1F00h over 1E00h-1FFFh but the field")
                     .arg(core::ChecksumValueText(core::ChecksumKind::Crc32, crc32)));

        // A field at either end of the block: the rest of the block, named as one range.
        QStringList ends;
        Patches({}, {"1F00h:sum16le"}).WriteChecksums(Block(Y.blockSize, 4), Y, &ends);
        Patches({}, {"1FFEh:sum16"}).WriteChecksums(Block(Y.blockSize, 4), Y, &ends);
        QVERIFY2(ends[0].endsWith(QLatin1String("at 1F00h over 1F02h-1FFFh")), qPrintable(ends[0]));
        QVERIFY2(ends[1].endsWith(QLatin1String("at 1FFEh over 1F00h-1FFDh")), qPrintable(ends[1]));
    }
};

QTEST_GUILESS_MAIN(BlockPatchesTest)
#include "tst_blockpatches.moc"
