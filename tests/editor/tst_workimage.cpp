// The working image without a window: copy in and out in pieces with progress, inside the
// system and through the buffer, failed and stopped write-backs, and its private creation.
// (Beyond 4 GiB and the image that cannot be made: through the window.)
#include "editor/ByteEdits.h"
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
    void failedWriteBackLeavesTargetAlone();
    void neverFollowsALinkAtItsName();
    void historyIsBounded();

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

void WorkImageTest::failedWriteBackLeavesTargetAlone() {
    QTemporaryDir own;
    const QString user = own.filePath(QStringLiteral("user.bin"));
    WriteFile(user, "original");
    WorkImage image(dir_.filePath(QStringLiteral("fail.tmp")));
    QFile in(user);
    QVERIFY(in.open(QIODevice::ReadOnly));
    image.Load(in, {});
    image.WriteAt(1, 'X');
    QVERIFY_THROWS_EXCEPTION(platform::RuntimeError, image.WriteAt(9, 1)); // past the end

    // A folder that is gone cannot take the file.
    const QString gone = own.filePath(QStringLiteral("gone/user.bin"));
    QCOMPARE(ErrorNumberOf([&] { image.SaveTo(gone, {}); }), platform::ErrorNumber::PathFileAccess);
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

void WorkImageTest::historyIsBounded() {
    // Past its limit the history lets its oldest steps go, and with them the saved state.
    const QString source = dir_.filePath(QStringLiteral("h.bin"));
    WriteFile(source, QByteArray(16, '\0'));
    WorkImage image(dir_.filePath(QStringLiteral("h.tmp")));
    QFile in(source);
    QVERIFY(in.open(QIODevice::ReadOnly));
    image.Load(in, {});
    ByteEdits edits(image);
    for (std::size_t i = 0; i <= ByteEdits::Limit; ++i) {
        edits.Write(1 + i % 16, static_cast<unsigned char>(i));
    }
    // The last step goes first: its byte gets the value of the step before at its place.
    const qint64 last = 1 + ByteEdits::Limit % 16;
    QCOMPARE(edits.Undo(), std::optional<qint64>(last));
    QCOMPARE(ReadFile(image.Path()).at(last - 1), char((ByteEdits::Limit - 16) & 0xFF));
    int undone = 1;
    while (edits.Undo()) {
        ++undone;
    }
    QCOMPARE(undone, int(ByteEdits::Limit));
    QVERIFY(edits.Modified());
}

QTEST_GUILESS_MAIN(WorkImageTest)
#include "tst_workimage.moc"
