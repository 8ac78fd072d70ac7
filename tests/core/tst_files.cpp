#include "core/FileErrors.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

class CoreFilesTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir;

private slots:
    void reasonsComeFromQtOrTheSystem_data() {
        QTest::addColumn<bool>("qtKnows"); // Qt kept a reason of its own
        QTest::addColumn<int>("errorNumber");
        QTest::addColumn<QString>("reason");
        QTest::newRow("Qt lost it, disk full") << false << ENOSPC << "No space left on device";
        QTest::newRow("Qt lost it, file too large") << false << EFBIG << "File too large";
        QTest::newRow("Qt's own") << true << EFBIG << "No such file or directory";
        QTest::newRow("nobody knows")
            << false << 0 << "writing failed, and the system gave no reason";
    }
    void reasonsComeFromQtOrTheSystem() {
        QFETCH(bool, qtKnows);
        QFETCH(int, errorNumber);
        QFETCH(QString, reason);
        QFile file(dir.filePath(QStringLiteral("none/such.bin")));
        if (qtKnows) {
            QVERIFY(!file.open(QIODevice::ReadOnly));
        }
        QCOMPARE(core::FileErrorReason(file, errorNumber), reason);
    }
};

QTEST_GUILESS_MAIN(CoreFilesTest)
#include "tst_files.moc"
