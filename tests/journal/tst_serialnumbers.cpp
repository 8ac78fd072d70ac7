#include "production/SerialNumbers.h"

#include <QtTest>
#include <limits>

using core::SerialFormat;

// A serial number's bytes in each layout, at the edges of what a field holds, and where they
// land in the block.
class SerialNumbersTest : public QObject {
    Q_OBJECT

private slots:
    void encode() {
        const auto be = SerialFormat::BigEndian, le = SerialFormat::LittleEndian,
                   bcd = SerialFormat::Bcd, ascii = SerialFormat::Ascii;
        // clang-format off
        const std::tuple<quint64, int, SerialFormat, QByteArray> rows[] = { // "" does not fit
        {quint64(1042), 4, be, "00000412"}, {quint64(1042), 4, le, "12040000"},
        {quint64(1042), 4, bcd, "00001042"}, {quint64(1042), 6, ascii, "303031303432"},
        {quint64(255), 1, be, "FF"}, {quint64(256), 1, be, ""},
        {quint64(0xFFFFFF), 3, le, "FFFFFF"}, {quint64(0x1000000), 3, le, ""},
        {quint64(0x0102), 2, le, "0201"}, {std::numeric_limits<quint64>::max(), 8, be, "FFFFFFFFFFFFFFFF"},
        {quint64(9999), 2, bcd, "9999"}, {quint64(10000), 2, bcd, ""},
        {quint64(9999999999999999), 8, bcd, "9999999999999999"}, {quint64(10000000000000000), 8, bcd, ""},
        {quint64(9), 1, ascii, "39"}, {quint64(10), 1, ascii, ""},
        {quint64(99999999), 8, ascii, "3939393939393939"}, {quint64(100000000), 8, ascii, ""},
        {quint64(0), 2, bcd, "0000"},
        };
        // clang-format on
        for (const auto& [number, bytes, format, hex] : rows) {
            const std::optional<QByteArray> field = core::EncodeSerial(number, bytes, format);
            QVERIFY2(field.has_value() == !hex.isEmpty(), qPrintable(QString::number(number)));
            QCOMPARE(number <= core::LargestSerial(bytes, format), !hex.isEmpty());
            if (field) {
                QCOMPARE(field->toHex().toUpper(), hex);
            }
        }
    }

    void field_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("family");
        QTest::addColumn<int>("offset"); // of the field in the block; -1 refused
        QTest::addColumn<QString>("why");
        // clang-format off
        QTest::newRow("x, first address") << "1E00h:2" << "x" << 0 << "";
        QTest::newRow("x, last address") << "0x1FFE:2:le" << "x" << 510 << "";
        QTest::newRow("x, one past the end") << "1FFFh:2" << "x" << -1 << "1FFFh to 2000h lies outside the EEPROM (1E00h to 1FFFh)";
        QTest::newRow("y, first address") << "1F00h:8:bcd" << "y" << 0 << "";
        QTest::newRow("y, last address") << "1fffh:1:ASCII" << "y" << 255 << "";
        QTest::newRow("y, one before") << "1EFFh:1" << "y" << -1 << "1EFFh to 1EFFh lies outside";
        QTest::newRow("no hex mark") << "1FFC:4" << "x" << -1 << "'1FFC' is no address";
        QTest::newRow("nine bytes") << "1FFCh:9" << "x" << -1 << "BYTES is 1 to 8, not '9'";
        QTest::newRow("no bytes") << "1FFCh" << "x" << -1 << "ADDR:BYTES[:FORMAT]";
        QTest::newRow("unknown format") << "1FFCh:4:hex" << "x" << -1 << "unknown format 'hex'";
        // clang-format on
    }
    void field() {
        QFETCH(QString, text);
        QFETCH(QString, family);
        QFETCH(int, offset);
        QFETCH(QString, why);
        const core::Family& f = *core::FindFamily(family);
        QString error;
        const std::optional<core::SerialField> field = core::ParseSerialField(text, &error);
        if (field) {
            error = core::FieldOutsideEeprom(*field, f);
        }
        QVERIFY2(error.contains(why), qPrintable(error));
        QCOMPARE(error.isEmpty(), offset >= 0);
        if (offset < 0) {
            return;
        }
        // The number lands at its address and nowhere else.
        const QByteArray block(f.blockSize, char(0xA5));
        const QByteArray patched = core::PatchSerial(block, *field, f, 7);
        const QByteArray bytes = *core::EncodeSerial(7, field->bytes, field->format);
        QCOMPARE(patched.size(), block.size());
        QCOMPARE(patched.mid(offset, field->bytes), bytes);
        QCOMPARE(patched.left(offset) + bytes + patched.mid(offset + field->bytes), patched);
        QCOMPARE(patched.left(offset), block.left(offset));
        QCOMPARE(patched.mid(offset + field->bytes), block.mid(offset + field->bytes));
    }

    void numbers() {
        QCOMPARE(core::ParseSerialNumber("1042"), qint64(1042));
        QCOMPARE(core::ParseSerialNumber("0x412"), qint64(1042));
        QCOMPARE(core::ParseSerialNumber("9223372036854775807"), qint64(9223372036854775807));
        QCOMPARE(core::ParseSerialNumber("9223372036854775808"), std::nullopt);
        QCOMPARE(core::ParseSerialNumber("-1"), std::nullopt);
        QCOMPARE(core::ParseSerialNumber("412h"), std::nullopt);
        QCOMPARE(core::WrittenSerial({0x1FFC, 4, SerialFormat::BigEndian}, 1042),
                 QStringLiteral("00000412h at 1FFCh"));
    }
};

QTEST_GUILESS_MAIN(SerialNumbersTest)
#include "tst_serialnumbers.moc"
