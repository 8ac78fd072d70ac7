// The working image without a window: copies, failed write-backs, creation, the history.
#include "ModelFixture.h"
#include "editor/model/ByteEdits.h"
#include "editor/model/WorkImage.h"

class WorkImageTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;

    void Load(WorkImage& image, const QByteArray& data, const WorkImage::Progress& progress = {}) {
        QFile in(WriteFile(dir_.filePath(QStringLiteral("in.bin")), data));
        QVERIFY(in.open(QIODevice::ReadOnly));
        image.Load(in, progress);
    }

private slots:
    void copiesInPiecesWithProgress_data() {
        // kernel: the system's copy, or the buffer
        Columns<qint64, QList<int>, bool>({"size", "progress", "kernel"});
        // clang-format off
        QTest::newRow("one byte") << qint64(1) << QList<int>{100} << true;
        QTest::newRow("one whole piece") << qint64(512000) << QList<int>{100} << true;
        QTest::newRow("piece and one byte") << qint64(512001) << QList<int>{100, 100} << true;
        QTest::newRow("three pieces and rest, kernel") << qint64(3 * 512000 + 7) << QList<int>{33, 67, 100, 100} << true;
        QTest::newRow("three pieces and rest, buffer") << qint64(3 * 512000 + 7) << QList<int>{33, 67, 100, 100} << false;
        QTest::newRow("eight pieces, halves to even") << qint64(8 * 512000) << QList<int>{12, 25, 38, 50, 62, 75, 88, 100} << false;
        // clang-format on
    }

    void copiesInPiecesWithProgress() {
        const auto [size, progress, kernel] =
            Row<qint64, QList<int>, bool>({"size", "progress", "kernel"});
        QByteArray data = Counting(size, 251); // no piece looks like another
        const QString source = WriteFile(dir_.filePath(QStringLiteral("source.bin")), data);
        if (size > 2 * 512000) { // past its first piece the file is a hole: it reads as zeros
            std::fill(data.begin() + 512000, data.end(), '\0');
            QFile file(source);
            QVERIFY(file.open(QIODevice::ReadWrite) && file.resize(512000) && file.resize(size));
        }
        WorkImage image(dir_.filePath(QStringLiteral("hexfiletemp.tmp")));
        image.SetKernelCopy(kernel);
        QFile in(source);
        QVERIFY(in.open(QIODevice::ReadOnly));
        QList<int> seen;
        const auto note = [&seen](int percent) { seen.append(percent); };
        image.Load(in, note);
        const QString target = dir_.filePath(QStringLiteral("target.bin"));
        image.SaveTo(target, note);
        QCOMPARE(seen, progress + progress);
        QVERIFY(ReadFile(image.Path()) == data && ReadFile(target) == data);
        image.Remove();
        QVERIFY(!QFile::exists(image.Path()));
    }

    void copiesAcrossFileSystems() {
        // The system will not copy between two file systems here: the buffer takes over.
        QTemporaryDir other(QStringLiteral("/dev/shm/tms370-XXXXXX"));
        if (!other.isValid() || QStorageInfo(other.path()) == QStorageInfo(dir_.path())) {
            QSKIP("needs a second file system at /dev/shm");
        }
        const QByteArray data = Counting(2 * 512000 + 3, 251);
        QFile in(WriteFile(other.filePath(QStringLiteral("in.bin")), data));
        QVERIFY(in.open(QIODevice::ReadOnly));
        WorkImage image(dir_.filePath(QStringLiteral("across.tmp")));
        image.Load(in, {});
        QCOMPARE(ReadFile(image.Path()), data);
        image.SaveTo(other.filePath(QStringLiteral("out.bin")), {}); // and back
        QCOMPARE(ReadFile(other.filePath(QStringLiteral("out.bin"))), data);
    }

    void failedWriteBackLeavesTargetAlone() {
        QTemporaryDir own;
        const QString user = WriteFile(own.filePath(QStringLiteral("user.bin")), "original");
        WorkImage image(dir_.filePath(QStringLiteral("fail.tmp")));
        Load(image, "original");
        image.WriteAt(1, 'X');
        QVERIFY_THROWS_EXCEPTION(platform::RuntimeError, image.WriteAt(9, 1)); // past the end

        // A write that fails (here: the folder goes under it) replaces nothing, and says so.
        const QString gone = own.path() + QStringLiteral("-gone");
        QVERIFY_THROWS_EXCEPTION(platform::RuntimeError,
                                 image.SaveTo(user, [&](int) { QDir().rename(own.path(), gone); }));
        QVERIFY(QDir().rename(gone, own.path()));
        QCOMPARE(QDir(own.path()).entryList(QDir::Files), QStringList{QStringLiteral("user.bin")});
        QCOMPARE(ReadFile(user), QByteArray("original"));

        // The program ends during a copy in: the piece in hand is done, then nothing is left.
        bool openAfterClose = false;
        QCOMPARE(ErrorNumberOf([&] {
                     Load(image, Counting(3 * 512000), [&](int) {
                         image.Close();
                         openAfterClose = image.IsOpen();
                     });
                 }),
                 platform::ErrorNumber::CancelError);
        QVERIFY(openAfterClose && !image.IsOpen() && !QFile::exists(image.Path()));
    }

    void neverFollowsALinkAtItsName() {
        const QString victim = WriteFile(dir_.filePath(QStringLiteral("victim.txt")), "keep me");
        const QString imagePath = dir_.filePath(QStringLiteral("linked.tmp"));
        QVERIFY(QFile::link(victim, imagePath));
        WorkImage image(imagePath);
        Load(image, "new content");
        QVERIFY(!QFileInfo(imagePath).isSymLink() && ReadFile(victim) == "keep me");
        QCOMPARE(ReadFile(imagePath), QByteArray("new content"));
        QCOMPARE(int(QFile::permissions(imagePath)) & 0x66, 0); // private

        // A dangling link is not followed either: the file it names is never created.
        image.Close();
        QVERIFY(QFile::remove(imagePath));
        const QString nowhere = dir_.filePath(QStringLiteral("created-through-link"));
        QVERIFY(QFile::link(nowhere, imagePath));
        Load(image, "new content");
        QVERIFY(!QFile::exists(nowhere));
    }

    void historyIsBounded() {
        // Past its limit the history lets its oldest steps go, and with them the saved state.
        WorkImage image(dir_.filePath(QStringLiteral("h.tmp")));
        Load(image, QByteArray(16, '\0'));
        ByteEdits edits(image);
        for (std::size_t i = 0; i <= ByteEdits::Limit; ++i) {
            edits.Write(1 + i % 16, static_cast<unsigned char>(i));
        }
        const qint64 last = 1 + ByteEdits::Limit % 16;
        QCOMPARE(edits.Undo().value_or(ByteEdits::Span{}).position, last);
        QCOMPARE(ReadFile(image.Path()).at(last - 1), char((ByteEdits::Limit - 16) & 0xFF));
        for (std::size_t undone = 1; undone < ByteEdits::Limit; ++undone) {
            QVERIFY(edits.Undo());
        }
        QVERIFY(!edits.Undo() && edits.Modified());
    }
};

QTEST_GUILESS_MAIN(WorkImageTest)
#include "tst_workimage.moc"
