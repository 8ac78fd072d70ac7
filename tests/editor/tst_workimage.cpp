// The working image without a window: copy in and out in pieces with progress, inside the
// system and through the buffer, positioned reads and writes beyond 4 GiB, its private
// creation, and a copy stopped by the program's end.
#include "editor/WorkImage.h"
#include "platform/RuntimeError.h"

#include "ErrorNumberOf.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

namespace {

QByteArray RandomBytes(qint64 size, quint32 seed) {
    QByteArray data(size, Qt::Uninitialized);
    QRandomGenerator random(seed);
    for (qint64 i = 0; i < size; ++i) {
        data[i] = static_cast<char>(random.bounded(256));
    }
    return data;
}

void WriteFile(const QString& path, const QByteArray& data) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(data), data.size());
}

QByteArray ReadFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return QByteArray("<unreadable>");
    }
    return file.readAll();
}

} // namespace

class WorkImageTest : public QObject {
    Q_OBJECT

private slots:
    void copiesInPiecesWithProgress_data();
    void copiesInPiecesWithProgress();
    void writesBackWhatWasEdited();
    void failedWriteBackLeavesTargetAlone();
    void neverFollowsALinkAtItsName();
    void cannotCreateImage();
    void beyondFourGiB();

private:
    QTemporaryDir dir_;
};

void WorkImageTest::copiesInPiecesWithProgress_data() {
    QTest::addColumn<qint64>("size");
    QTest::addColumn<QList<int>>("progress");
    QTest::addColumn<bool>("kernel"); // the system's copy, or the buffer
    QTest::newRow("one byte") << qint64(1) << QList<int>{100} << true;
    QTest::newRow("one whole piece") << qint64(512000) << QList<int>{100} << true;
    QTest::newRow("piece and one byte") << qint64(512001) << QList<int>{100, 100} << true;
    QTest::newRow("two pieces") << qint64(1024000) << QList<int>{50, 100} << true;
    for (const bool kernel : {true, false}) {
        QTest::addRow("three pieces and rest, %s", kernel ? "kernel" : "buffer")
            << qint64(3 * 512000 + 7) << QList<int>{33, 67, 100, 100} << kernel;
    }
    QTest::newRow("eight pieces, halves to even")
        << qint64(8 * 512000) << QList<int>{12, 25, 38, 50, 62, 75, 88, 100} << false;
}

void WorkImageTest::copiesInPiecesWithProgress() {
    QFETCH(qint64, size);
    QFETCH(QList<int>, progress);
    QFETCH(bool, kernel);
    QByteArray data = RandomBytes(size, static_cast<quint32>(size));
    const QString source = dir_.filePath(QStringLiteral("source.bin"));
    WriteFile(source, data);
    if (size > 2 * 512000) {
        // Past its first piece the file is a hole, to its end: the copies read as zeros there
        // and are as long.
        std::fill(data.begin() + 512000, data.end(), '\0');
        QFile file(source);
        QVERIFY(file.open(QIODevice::ReadWrite) && file.resize(512000) && file.resize(size));
    }

    WorkImage image(dir_.filePath(QStringLiteral("hexfiletemp.tmp")));
    image.SetKernelCopy(kernel);
    QFile in(source);
    QVERIFY(in.open(QIODevice::ReadOnly));
    QList<int> seen;
    image.Load(in, [&seen](int percent) { seen.append(percent); });
    QCOMPARE(seen, progress);
    QCOMPARE(image.Length(), size);
    QCOMPARE(ReadFile(image.Path()), data);

    const QString target = dir_.filePath(QStringLiteral("target.bin"));
    seen.clear();
    image.SaveTo(target, [&seen](int percent) { seen.append(percent); });
    QCOMPARE(seen, progress);
    QCOMPARE(ReadFile(target), data);
    image.Remove();
    QVERIFY(!QFile::exists(image.Path()));
}

void WorkImageTest::writesBackWhatWasEdited() {
    const QByteArray original = RandomBytes(1000, 7);
    const QString user = dir_.filePath(QStringLiteral("user.bin"));
    WriteFile(user, original);
    WorkImage image(dir_.filePath(QStringLiteral("edit.tmp")));
    QFile in(user);
    QVERIFY(in.open(QIODevice::ReadOnly));
    image.Load(in, {});
    in.close();

    image.WriteAt(1, 0xAB);
    image.WriteAt(1000, 0x00);
    char row[16];
    QCOMPARE(image.ReadAt(993, row, 16), qint64(8)); // a short read at the end
    QCOMPARE(static_cast<unsigned char>(row[7]), 0x00);
    QVERIFY_THROWS_EXCEPTION(platform::RuntimeError, image.WriteAt(1001, 1));

    QCOMPARE(ReadFile(user), original); // the user's file is untouched until written back
    image.SaveTo(user, {});
    QByteArray expected = original;
    expected[0] = char(0xAB);
    expected[999] = 0;
    QCOMPARE(ReadFile(user), expected);
}

void WorkImageTest::failedWriteBackLeavesTargetAlone() {
    QTemporaryDir own;
    const QString user = own.filePath(QStringLiteral("user.bin"));
    WriteFile(user, "original");
    WorkImage image(dir_.filePath(QStringLiteral("fail.tmp")));
    QFile in(user);
    QVERIFY(in.open(QIODevice::ReadOnly));
    image.Load(in, {});
    image.WriteAt(1, 'X');

    // A folder that is gone cannot take the file.
    const QString gone = own.filePath(QStringLiteral("gone/user.bin"));
    try {
        image.SaveTo(gone, {});
        QFAIL("write-back into a missing folder succeeded");
    } catch (const platform::RuntimeError& error) {
        QCOMPARE(error.Number(), platform::ErrorNumber::PathFileAccess);
        QVERIFY2(error.Description().contains(gone), qPrintable(error.Description()));
    }
    // A write that fails half-way (here: the image is closed under it) replaces nothing.
    int calls = 0;
    QVERIFY_THROWS_EXCEPTION(platform::RuntimeError, image.SaveTo(user, [&](int) {
        if (++calls == 1) {
            image.Abort();
        }
    }));
    QCOMPARE(ReadFile(user), QByteArray("original"));
    QCOMPARE(QDir(own.path()).entryList(QDir::Files), QStringList{QStringLiteral("user.bin")});

    // The program ends during a copy in: the image stays open until the piece in hand is
    // done, then the copy stops and leaves nothing behind.
    const QString big = own.filePath(QStringLiteral("big.bin"));
    WriteFile(big, RandomBytes(3 * 512000, 3));
    QFile source(big);
    QVERIFY(source.open(QIODevice::ReadOnly));
    bool openAfterClose = false;
    QCOMPARE(ErrorNumberOf([&] {
                 image.Load(source, [&](int) {
                     image.Close();
                     openAfterClose = image.IsOpen();
                 });
             }),
             platform::ErrorNumber::CancelError);
    QVERIFY(openAfterClose);
    QVERIFY(!image.IsOpen());
    QVERIFY(!QFile::exists(image.Path()));
}

void WorkImageTest::neverFollowsALinkAtItsName() {
    const QString victim = dir_.filePath(QStringLiteral("victim.txt"));
    WriteFile(victim, "keep me");
    const QString imagePath = dir_.filePath(QStringLiteral("linked.tmp"));
    QVERIFY(QFile::link(victim, imagePath));
    const QString source = dir_.filePath(QStringLiteral("small.bin"));
    WriteFile(source, "new content");

    WorkImage image(imagePath);
    QFile in(source);
    QVERIFY(in.open(QIODevice::ReadOnly));
    image.Load(in, {});
    QCOMPARE(ReadFile(victim), QByteArray("keep me"));
    const QFileInfo info(imagePath);
    QVERIFY(!info.isSymLink());
    QCOMPARE(ReadFile(imagePath), QByteArray("new content"));
    QCOMPARE(info.permissions() & (QFileDevice::ReadGroup | QFileDevice::WriteGroup |
                                   QFileDevice::ReadOther | QFileDevice::WriteOther),
             QFileDevice::Permissions());

    // A dangling link is not followed either: the file it names is never created.
    image.Close();
    QVERIFY(QFile::remove(imagePath));
    const QString nowhere = dir_.filePath(QStringLiteral("created-through-link"));
    QVERIFY(QFile::link(nowhere, imagePath));
    QVERIFY(in.seek(0));
    image.Load(in, {});
    QVERIFY(!QFile::exists(nowhere));
}

void WorkImageTest::cannotCreateImage() {
    // Something at the image's name that cannot be removed: a folder with a file in it.
    const QString imagePath = dir_.filePath(QStringLiteral("busy.tmp"));
    QVERIFY(QDir(dir_.path()).mkpath(QStringLiteral("busy.tmp/inner")));
    const QString source = dir_.filePath(QStringLiteral("src2.bin"));
    WriteFile(source, "abc");
    WorkImage image(imagePath);
    QFile in(source);
    QVERIFY(in.open(QIODevice::ReadOnly));
    try {
        image.Load(in, {});
        QFAIL("the image was created over a folder");
    } catch (const platform::RuntimeError& error) {
        QVERIFY2(error.Description().contains(imagePath), qPrintable(error.Description()));
    }
    QVERIFY(!image.IsOpen());
    QCOMPARE(image.Length(), qint64(0));
}

void WorkImageTest::beyondFourGiB() {
    // A sparse file: only the few bytes written take room on the disk.
    const qint64 size = (qint64(1) << 32) + 1000;
    const QString source = dir_.filePath(QStringLiteral("huge.bin"));
    {
        QFile file(source);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.resize(size));
        QVERIFY(file.seek((qint64(1) << 32) - 1));
        QCOMPARE(file.write("\x11\x22", 2), qint64(2)); // across the 4 GiB boundary
        QVERIFY(file.seek(size - 1));
        QCOMPARE(file.write("\x33", 1), qint64(1));
    }
    WorkImage image(dir_.filePath(QStringLiteral("huge.tmp")));
    QFile in(source);
    QVERIFY(in.open(QIODevice::ReadOnly));
    int reports = 0;
    image.Load(in, [&reports](int) { ++reports; });
    in.close();
    QCOMPARE(image.Length(), size);
    QCOMPARE(reports, int(size / WorkImage::ChunkSize) + 1);

    char bytes[4] = {};
    QCOMPARE(image.ReadAt(qint64(1) << 32, bytes, 4), qint64(4)); // 1-based: byte 2^32 - 1
    QCOMPARE(QByteArray(bytes, 4), QByteArray("\x11\x22\x00\x00", 4));
    QCOMPARE(image.ReadAt(size, bytes, 4), qint64(1));
    QCOMPARE(bytes[0], '\x33');
    image.WriteAt(size - 500, 0x44);

    image.SaveTo(source, {});
    QFile out(source);
    QVERIFY(out.open(QIODevice::ReadOnly));
    QCOMPARE(out.size(), size);
    QVERIFY(out.seek((qint64(1) << 32) - 1));
    QCOMPARE(out.read(2), QByteArray("\x11\x22"));
    QVERIFY(out.seek(size - 501));
    QCOMPARE(out.read(501), QByteArray(1, '\x44') + QByteArray(499, '\0') + "\x33");
    image.Remove();
}

QTEST_GUILESS_MAIN(WorkImageTest)
#include "tst_workimage.moc"
