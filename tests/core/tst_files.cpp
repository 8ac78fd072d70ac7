#include "FileSystemLimits.h"
#include "ImageFiles.h"
#include "core/FileErrors.h"
#include "core/FileReplace.h"
#include "core/ImageFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>
#include <sys/stat.h>

namespace {

int ModeOf(const QString& path) {
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
}

int Umasked(int mode) {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mode & ~int(mask);
}

// Replaces what folder/fw.bin holds (old, with mode, or nothing for mode -1) through an image
// target; 0 when the outcome is as expected, else the step that went wrong.
int Replace(const QString& folder, int mode, bool force, bool replaced) {
    const QString path = QDir(folder).filePath(QStringLiteral("fw.bin"));
    if (mode >= 0) {
        WriteFile(path, "old");
        ::chmod(QFile::encodeName(path).constData(), mode_t(mode));
    }
    core::ImageTarget target;
    QString why;
    if (target.Open(path, &why, force) != replaced) {
        return 1;
    }
    if (!replaced) {
        return why == QLatin1String("it is read-only") && ReadFile(path) == "old" &&
                       ModeOf(path) == mode
                   ? 0
                   : 2;
    }
    if (!target.Commit("new", &why)) {
        return 3;
    }
    if (ReadFile(path) != "new") {
        return 4;
    }
    if (ModeOf(path) != (mode >= 0 ? mode : Umasked(0666))) {
        return 5;
    }
    return QDir(folder).entryList(QDir::Files | QDir::Hidden).size() == 1 ? 0 : 6;
}

} // namespace

class CoreFilesTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir;

    // A folder an ordinary user may write to.
    QString Folder(const QString& name) {
        QDir(dir.path()).mkdir(name);
        const QString folder = dir.filePath(name);
        ::chmod(QFile::encodeName(dir.path()).constData(), 0755);
        ::chmod(QFile::encodeName(folder).constData(), 0777);
        return folder;
    }

private slots:
    void replacedFilesKeepTheirMode_data() {
        QTest::addColumn<int>("mode"); // -1: no file before
        QTest::addColumn<bool>("force");
        QTest::addColumn<bool>("ordinary"); // as a user root is not
        QTest::addColumn<bool>("replaced");
        QTest::newRow("new file, by the umask") << -1 << false << false << true;
        QTest::newRow("0600") << 0600 << false << false << true;
        QTest::newRow("0640") << 0640 << false << true << true;
        QTest::newRow("0444, confirmed") << 0444 << true << false << true;
        QTest::newRow("0444, confirmed, ordinary user") << 0444 << true << true << true;
        QTest::newRow("0444, not confirmed") << 0444 << false << false << false;
    }
    void replacedFilesKeepTheirMode() {
        QFETCH(int, mode);
        QFETCH(bool, force);
        QFETCH(bool, ordinary);
        QFETCH(bool, replaced);
        const QString folder = Folder(QTest::currentDataTag());
        const auto replace = [&] { return Replace(folder, mode, force, replaced); };
        QCOMPARE(ordinary ? AsOrdinaryUser(replace) : replace(), 0);
    }

    void ownerAndGroupAreKept() {
        if (::geteuid() != 0) {
            QSKIP("only root may give a file to another user");
        }
        const passwd* nobody = ::getpwnam("nobody");
        QVERIFY(nobody);
        const QString path = dir.filePath(QStringLiteral("theirs.bin"));
        const QByteArray name = QFile::encodeName(path);
        WriteFile(path, "old");
        QCOMPARE(::chown(name.constData(), nobody->pw_uid, nobody->pw_gid), 0);
        QCOMPARE(::chmod(name.constData(), 02750), 0); // set-group-id survives the change
        core::ImageTarget target;
        QString why;
        QVERIFY2(target.Open(path, &why) && target.Commit("new", &why), qPrintable(why));
        struct stat st {};
        QCOMPARE(::stat(name.constData(), &st), 0);
        QCOMPARE(st.st_uid, nobody->pw_uid);
        QCOMPARE(st.st_gid, nobody->pw_gid);
        QCOMPARE(int(st.st_mode & 07777), 02750);
    }

    void reasonsComeFromQtOrTheSystem_data() {
        QTest::addColumn<bool>("qtKnows"); // Qt kept a reason of its own
        QTest::addColumn<int>("errorNumber");
        QTest::addColumn<QString>("reason");
        QTest::newRow("Qt lost it, disk full") << false << ENOSPC << "No space left on device";
        QTest::newRow("Qt lost it, file too large") << false << EFBIG << "File too large";
        QTest::newRow("Qt's own") << true << EFBIG << "No such file or directory";
        QTest::newRow("nobody knows") << false << 0
                                      << "writing failed, and the system gave no "
                                         "reason";
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
