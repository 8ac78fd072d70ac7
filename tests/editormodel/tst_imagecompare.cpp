// Two files compared piece by piece: counts, first differences, edges, the next one, a stop.
#include "../common/TableRows.h"
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
        // changed: in theirs
        Columns<qint64, qint64, QList<qint64>, qint64, int, QString>(
            {"ourSize", "theirSize", "changed", "chunk", "keep", "first"});
        const qint64 mib = qint64(1) << 20;
        using L = QList<qint64>;
        // clang-format off
        QTest::newRow("equal") << 3000LL << 3000LL << L{} << 1024LL << 10 << "";
        QTest::newRow("both empty") << 0LL << 0LL << L{} << 1024LL << 10 << "";
        QTest::newRow("the first byte") << 3000LL << 3000LL << L{0} << 1024LL << 10 << "0:00/01";
        QTest::newRow("the last byte") << 3000LL << 3000LL << L{2999} << 1024LL << 10 << "2999:7e/7f";
        QTest::newRow("theirs longer, the same as far as ours goes") << 3000LL << 5000LL << L{} << 1024LL << 10 << "";
        QTest::newRow("ours longer, a difference at the end of theirs") << 5000LL << 3000LL << L{2999} << 1024LL << 10 << "2999:7e/7f";
        QTest::newRow("either side of piece edges") << 3000LL << 3000LL << L{1023, 1024, 2047, 2048} << 1024LL << 10 << "1023:df/de 1024:04/06 2047:e3/e7 2048:08/00";
        QTest::newRow("either side of a block inside a piece") << 3 * mib << 3 * mib << L{4095, 4096, mib + 8191} << mib << 10 << "4095:eb/ea 4096:10/12 1056767:4d/49";
        QTest::newRow("fewer kept than differ") << 3000LL << 3000LL << L{5, 6, 7, 2000} << 1024LL << 2 << "5:b9/b8 6:de/dc";
        QTest::newRow("none kept") << 3000LL << 3000LL << L{5, 2000} << 1024LL << 0 << "";
        // clang-format on
        L many; // every bit of every byte position in a word, and runs
        for (qint64 i = 0; i < 3000; i += (i % 5) + 1) {
            many.append(i);
        }
        QTest::newRow("many, counted word by word")
            << 3000LL << 3000LL << many << 1024LL << 0 << "";
    }

    void compares() {
        const auto [ourSize, theirSize, changed, chunk, keep, first] =
            Row<qint64, qint64, QList<qint64>, qint64, int, QString>(
                {"ourSize", "theirSize", "changed", "chunk", "keep", "first"});
        Open(Bytes(ourSize), Changed(Bytes(theirSize), changed));
        const ImageCompare::Result result = ImageCompare::Compare(ours_, theirs_, keep, {}, chunk);
        QCOMPARE(QList<qint64>({result.differing, result.ourLength, result.theirLength}),
                 QList<qint64>({changed.size(), ourSize, theirSize}));
        QCOMPARE(Describe(result.first), first);
    }

    void nextDifference_data() {
        // changed: in a file of 3000 bytes, theirs 2990; found: -1: none
        Columns<QList<qint64>, qint64, bool, qint64>({"changed", "from", "forward", "found"});
        using L = QList<qint64>;
        // clang-format off
        QTest::newRow("from before the start: the first byte") << L{0, 9} << -1LL << true << 0LL;
        QTest::newRow("not the one it stands on") << L{0, 9} << 0LL << true << 9LL;
        QTest::newRow("across a piece edge") << L{100, 1024} << 100LL << true << 1024LL;
        QTest::newRow("the last byte both have") << L{2989} << 5LL << true << 2989LL;
        QTest::newRow("none after the last") << L{3, 2989} << 2989LL << true << -1LL;
        QTest::newRow("none forward when equal") << L{} << -1LL << true << -1LL;
        QTest::newRow("from the end: the last byte") << L{7, 2989} << 2990LL << false << 2989LL;
        QTest::newRow("from past the end") << L{7, 2989} << 5000LL << false << 2989LL;
        QTest::newRow("backward across a piece edge") << L{1023, 2500} << 2500LL << false << 1023LL;
        QTest::newRow("backward to the first byte") << L{0, 1} << 1LL << false << 0LL;
        QTest::newRow("none before the first") << L{0, 50} << 0LL << false << -1LL;
        QTest::newRow("the nearest of a run, backward") << L{10, 11, 12} << 2000LL << false << 12LL;
        // clang-format on
    }

    void nextDifference() {
        const auto [changed, from, forward, found] =
            Row<QList<qint64>, qint64, bool, qint64>({"changed", "from", "forward", "found"});
        Open(Bytes(3000), Changed(Bytes(2990), changed));
        QCOMPARE(ImageCompare::NextDifference(ours_, theirs_, from, forward, {}, 1024).value_or(-1),
                 found);
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
