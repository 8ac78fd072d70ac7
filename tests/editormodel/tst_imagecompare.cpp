// Two files compared piece by piece: counts, the first differences, lengths, piece and block
// edges, the next difference either way, and a stop.
#include "ErrorNumberOf.h"
#include "editor/model/ImageCompare.h"
#include "platform/RuntimeError.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// Bytes that differ from one another at every step, so no two pieces look alike.
QByteArray Bytes(qint64 size) {
    QByteArray data(size, Qt::Uninitialized);
    for (qint64 i = 0; i < size; ++i) {
        data[i] = static_cast<char>((i * 37 + i / 251) & 0xFF);
    }
    return data;
}

// data with the bytes at offsets changed: flipped in one bit, in turn the lowest to the
// highest, so every bit of a byte is a difference once.
QByteArray Changed(QByteArray data, const QList<qint64>& offsets) {
    int bit = 0;
    for (const qint64 offset : offsets) {
        data[offset] = static_cast<char>(data[offset] ^ (1 << (bit++ % 8)));
    }
    return data;
}

QString Describe(const QList<ImageCompare::Difference>& differences) {
    QStringList parts;
    for (const ImageCompare::Difference& d : differences) {
        parts.append(QStringLiteral("%1:%2/%3")
                         .arg(d.offset)
                         .arg(d.ours, 2, 16, QLatin1Char('0'))
                         .arg(d.theirs, 2, 16, QLatin1Char('0')));
    }
    return parts.join(QLatin1Char(' '));
}

} // namespace

class ImageCompareTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QFile ours_;
    QFile theirs_;

    void Open(const QByteArray& ours, const QByteArray& theirs) {
        ours_.close();
        theirs_.close();
        ours_.setFileName(dir_.filePath(QStringLiteral("ours.bin")));
        theirs_.setFileName(dir_.filePath(QStringLiteral("theirs.bin")));
        for (auto [file, data] : {std::pair{&ours_, &ours}, std::pair{&theirs_, &theirs}}) {
            if (!file->open(QIODevice::ReadWrite | QIODevice::Truncate) ||
                file->write(*data) != data->size() || !file->flush()) {
                qFatal("cannot write the files");
            }
        }
    }

private slots:
    void compares_data() {
        QTest::addColumn<qint64>("ourSize");
        QTest::addColumn<qint64>("theirSize");
        QTest::addColumn<QList<qint64>>("changed"); // in theirs
        QTest::addColumn<qint64>("chunk");
        QTest::addColumn<int>("keep");
        QTest::addColumn<QString>("first");
        const qint64 mib = qint64(1) << 20;
        // clang-format off
        QTest::newRow("equal") << qint64(3000) << qint64(3000) << QList<qint64>{} << qint64(1024) << 10 << "";
        QTest::newRow("both empty") << qint64(0) << qint64(0) << QList<qint64>{} << qint64(1024) << 10 << "";
        QTest::newRow("the first byte") << qint64(3000) << qint64(3000) << QList<qint64>{0} << qint64(1024) << 10
            << "0:00/01";
        QTest::newRow("the last byte") << qint64(3000) << qint64(3000) << QList<qint64>{2999} << qint64(1024) << 10
            << "2999:7e/7f";
        QTest::newRow("theirs longer, the same as far as ours goes")
            << qint64(3000) << qint64(5000) << QList<qint64>{} << qint64(1024) << 10 << "";
        QTest::newRow("ours longer, a difference at the end of theirs")
            << qint64(5000) << qint64(3000) << QList<qint64>{2999} << qint64(1024) << 10 << "2999:7e/7f";
        QTest::newRow("either side of piece edges")
            << qint64(3000) << qint64(3000) << QList<qint64>{1023, 1024, 2047, 2048} << qint64(1024) << 10
            << "1023:df/de 1024:04/06 2047:e3/e7 2048:08/00";
        QTest::newRow("either side of a block inside a piece")
            << 3 * mib << 3 * mib << QList<qint64>{4095, 4096, mib + 8191} << mib << 10
            << "4095:eb/ea 4096:10/12 1056767:4d/49";
        QTest::newRow("fewer kept than differ")
            << qint64(3000) << qint64(3000) << QList<qint64>{5, 6, 7, 2000} << qint64(1024) << 2
            << "5:b9/b8 6:de/dc";
        QTest::newRow("none kept") << qint64(3000) << qint64(3000) << QList<qint64>{5, 2000} << qint64(1024) << 0 << "";
        // clang-format on
        QList<qint64> many; // every bit of every byte position in a word, and runs
        for (qint64 i = 0; i < 3000; i += (i % 5) + 1) {
            many.append(i);
        }
        QTest::newRow("many, counted word by word")
            << qint64(3000) << qint64(3000) << many << qint64(1024) << 0 << "";
    }

    void compares() {
        QFETCH(qint64, ourSize);
        QFETCH(qint64, theirSize);
        QFETCH(QList<qint64>, changed);
        QFETCH(qint64, chunk);
        QFETCH(int, keep);
        QFETCH(QString, first);
        const QByteArray ours = Bytes(ourSize);
        const QByteArray theirs = Changed(Bytes(theirSize), changed);
        Open(ours, theirs);
        const ImageCompare::Result result = ImageCompare::Compare(ours_, theirs_, keep, {}, chunk);
        QCOMPARE(result.differing, qint64(changed.size()));
        QCOMPARE(result.ourLength, ourSize);
        QCOMPARE(result.theirLength, theirSize);
        QCOMPARE(Describe(result.first), first);
    }

    void nextDifference_data() {
        QTest::addColumn<QList<qint64>>("changed"); // in a file of 3000 bytes, theirs 2990
        QTest::addColumn<qint64>("from");
        QTest::addColumn<bool>("forward");
        QTest::addColumn<qint64>("found"); // -1: none
        // clang-format off
        QTest::newRow("from before the start: the first byte") << QList<qint64>{0, 9} << qint64(-1) << true << qint64(0);
        QTest::newRow("not the one it stands on") << QList<qint64>{0, 9} << qint64(0) << true << qint64(9);
        QTest::newRow("across a piece edge") << QList<qint64>{100, 1024} << qint64(100) << true << qint64(1024);
        QTest::newRow("the last byte both have") << QList<qint64>{2989} << qint64(5) << true << qint64(2989);
        QTest::newRow("none after the last") << QList<qint64>{3, 2989} << qint64(2989) << true << qint64(-1);
        QTest::newRow("none forward when equal") << QList<qint64>{} << qint64(-1) << true << qint64(-1);
        QTest::newRow("from the end: the last byte") << QList<qint64>{7, 2989} << qint64(2990) << false << qint64(2989);
        QTest::newRow("from past the end") << QList<qint64>{7, 2989} << qint64(5000) << false << qint64(2989);
        QTest::newRow("backward across a piece edge") << QList<qint64>{1023, 2500} << qint64(2500) << false << qint64(1023);
        QTest::newRow("backward to the first byte") << QList<qint64>{0, 1} << qint64(1) << false << qint64(0);
        QTest::newRow("none before the first") << QList<qint64>{0, 50} << qint64(0) << false << qint64(-1);
        QTest::newRow("the nearest of a run, backward") << QList<qint64>{10, 11, 12} << qint64(2000) << false << qint64(12);
        // clang-format on
    }

    void nextDifference() {
        QFETCH(QList<qint64>, changed);
        QFETCH(qint64, from);
        QFETCH(bool, forward);
        QFETCH(qint64, found);
        Open(Bytes(3000), Changed(Bytes(2990), changed));
        const std::optional<qint64> next =
            ImageCompare::NextDifference(ours_, theirs_, from, forward, {}, 1024);
        QCOMPARE(next.value_or(-1), found);
    }

    void stops() {
        Open(Bytes(5000), Bytes(5000));
        int calls = 0;
        const auto stopSecond = [&](int) { return ++calls < 2; };
        QCOMPARE(
            ErrorNumberOf([&] { ImageCompare::Compare(ours_, theirs_, 10, stopSecond, 1024); }),
            platform::ErrorNumber::CancelError);
        QCOMPARE(calls, 2);
        calls = 0;
        QCOMPARE(ErrorNumberOf([&] {
                     ImageCompare::NextDifference(ours_, theirs_, 4999, false, stopSecond, 1024);
                 }),
                 platform::ErrorNumber::CancelError);
        QCOMPARE(calls, 2);
    }
};

QTEST_GUILESS_MAIN(ImageCompareTest)
#include "tst_imagecompare.moc"
