// What the windows share: the program-wide values, the language file and where it is found,
// the Open dialog routine, and the reader that refuses pipes and devices.
#include "common/LangFile.h"
#include "common/Module1.h"
#include "common/OpenDialog.h"
#include "core/RegularFile.h"
#include "platform/QtSettingsStore.h"

#include "FakeFileDialogs.h"

#include <QBuffer>
#include <QTemporaryDir>
#include <QtTest>
#include <sys/stat.h>

class Module1Test : public QObject {
    Q_OBJECT

private slots:
    void appFolderEndsInExactlyOneSeparator();
    void languageSetting_data();
    void languageSetting();
    void languageFileBesideOrShared();
    void languageRecords_data();
    void languageRecords();
    void workImagePathHasOneSeparatorBeforeItsName();
    void openDialogAndLastFolder();
    void onlyRegularFilesOpen_data();
    void onlyRegularFilesOpen();
};

void Module1Test::appFolderEndsInExactlyOneSeparator() {
    const QChar sep = Module1::PathSeparator();
    QTemporaryDir dir;
    platform::QtSettingsStore settings(dir.filePath(QStringLiteral("s.ini")));
    Module1::InitProgramValues(QStringLiteral("/opt/tms370"), settings);
    QCOMPARE(Module1::AppFolder, QDir::toNativeSeparators(QStringLiteral("/opt/tms370")) + sep);
    Module1::InitProgramValues(QStringLiteral("/"), settings); // a drive's root
    QCOMPARE(Module1::AppFolder, QString(sep));
}

void Module1Test::languageSetting_data() {
    QTest::addColumn<QString>("setting"); // "-": none
    QTest::addColumn<QString>("file");
    QTest::newRow("none") << "-"
                          << "English.lpk";
    QTest::newRow("another file") << "Deutsch.lpk"
                                  << "Deutsch.lpk";
    QTest::newRow("up a folder") << "../English.lpk"
                                 << "English.lpk";
    QTest::newRow("a path") << "/etc/passwd"
                            << "English.lpk";
    QTest::newRow("a Windows path") << "lang\\English.lpk"
                                    << "English.lpk";
    QTest::newRow("dots") << ".."
                          << "English.lpk";
    QTest::newRow("empty") << ""
                           << "English.lpk";
}

void Module1Test::languageSetting() {
    QFETCH(QString, setting);
    QFETCH(QString, file);
    QTemporaryDir dir;
    platform::QtSettingsStore settings(dir.filePath(QStringLiteral("s.ini")));
    if (setting != QLatin1String("-")) {
        settings.SaveSetting(QStringLiteral("General"), QStringLiteral("Language"), setting);
    }
    Module1::InitProgramValues(QStringLiteral("/opt"), settings);
    QCOMPARE(Module1::LanguageFile, file);
}

void Module1Test::languageFileBesideOrShared() {
    QTemporaryDir root;
    QVERIFY(QDir(root.path()).mkpath(QStringLiteral("bin")));
    QVERIFY(QDir(root.path()).mkpath(QStringLiteral("share/tms370prog")));
    Module1::AppFolder = QDir::toNativeSeparators(root.filePath(QStringLiteral("bin/")));
    Module1::LanguageFile = QStringLiteral("English.lpk");
    const QString beside = root.filePath(QStringLiteral("bin/English.lpk"));
    const QString shared = root.filePath(QStringLiteral("share/tms370prog/English.lpk"));
    QCOMPARE(Module1::LanguageFilePath(), QDir::toNativeSeparators(beside)); // neither
    QFile(shared).open(QIODevice::WriteOnly);
    QCOMPARE(Module1::LanguageFilePath(), QDir::toNativeSeparators(shared)); // installed tree
    QFile(beside).open(QIODevice::WriteOnly);
    QCOMPARE(Module1::LanguageFilePath(), QDir::toNativeSeparators(beside)); // build tree
}

void Module1Test::languageRecords_data() {
    QTest::addColumn<QByteArray>("text"); // bytes 4.. of the record, padded with spaces
    QTest::addColumn<QString>("read");    // "<none>": the caller keeps its own text
    QTest::newRow("padded") << QByteArray("  Caf\xe9 \x80 5  ")
                            << QStringLiteral("Caf\u00e9 \u20ac 5");
    QTest::newRow("zero bytes at the end") << QByteArray("Open\0\0\0", 7) << "Open";
    QTest::newRow("blank") << QByteArray() << "";
    QTest::newRow("a control code") << QByteArray("Sa\x07ve") << "<none>";
    QTest::newRow("a zero inside") << QByteArray("Sa\0ve", 5) << "<none>";
    QTest::newRow("an undefined code") << QByteArray("Ja\x81") << "<none>";
    QTest::newRow("delete") << QByteArray("\x7f") << "<none>";
}

void Module1Test::languageRecords() {
    QFETCH(QByteArray, text);
    QFETCH(QString, read);
    QByteArray bytes = Module1::MakeLangRecord(QString());
    bytes.replace(4, text.size(), text);
    bytes += Module1::MakeLangRecord(QStringLiteral("cut off")).left(103);
    QBuffer buffer(&bytes);
    QVERIFY(buffer.open(QIODevice::ReadOnly));
    const std::optional<QString> got = Module1::ReadLangRecord(buffer, 1);
    QCOMPARE(got.value_or(QStringLiteral("<none>")), read);
    QCOMPARE(Module1::ReadLangRecord(buffer, 2), std::nullopt);

    // The file the build makes, beside the programs.
    QFile english(QCoreApplication::applicationDirPath() + QStringLiteral("/English.lpk"));
    QVERIFY(english.open(QIODevice::ReadOnly));
    QCOMPARE(Module1::ReadLangRecord(english, 34), QStringLiteral("&File"));
    QCOMPARE(Module1::MakeLangRecord(QStringLiteral("\u20ac\u0416")).mid(4, 3), "\x80? ");
}

void Module1Test::workImagePathHasOneSeparatorBeforeItsName() {
    const QString sep = Module1::PathSeparator();
    QCOMPARE(Module1::WorkImagePath(QStringLiteral("tmpdir")),
             QStringLiteral("tmpdir") + sep + QStringLiteral("hexfiletemp.tmp"));
    QCOMPARE(Module1::WorkImagePath(QStringLiteral("tmpdir") + sep),
             QStringLiteral("tmpdir") + sep + QStringLiteral("hexfiletemp.tmp"));
    QTemporaryDir dir;
    const QByteArray saved = qgetenv("TMPDIR");
    qputenv("TMPDIR", dir.path().toLocal8Bit());
    QVERIFY(!Module1::GetTempFolder().endsWith(sep + sep));
    QCOMPARE(Module1::WorkImagePath(),
             QDir::toNativeSeparators(dir.path()) + sep + QStringLiteral("hexfiletemp.tmp"));
    qputenv("TMPDIR", saved);
}

void Module1Test::openDialogAndLastFolder() {
    const QString filter = QStringLiteral("All Files (*.bin)|*.bin|(*.hex)|*.hex");
    FakeFileDialogs dialogs;
    dialogs.answers = {QStringLiteral("/data/x.bin"), std::nullopt};
    QCOMPARE(Module1::ShowOpenDialog(dialogs, filter, QStringLiteral("T"), QStringLiteral("/d")),
             QStringLiteral("/data/x.bin"));
    QCOMPARE(Module1::ShowOpenDialog(dialogs, filter + QLatin1Char('|'), QStringLiteral("T"),
                                     QStringLiteral("/d")),
             QString());
    for (const platform::FileDialogOptions& asked : dialogs.opens) {
        QCOMPARE(asked.filter, filter + QLatin1Char('|')); // one "|" at the end, never two
        QCOMPARE(asked.initialDir, QStringLiteral("/d"));
        QVERIFY(asked.fileMustExist);
    }
    // A folder whose name holds the file's name is still the whole folder.
    QCOMPARE(Module1::FolderOf(QStringLiteral("/data/X.BIN files/x.bin")),
             QDir::toNativeSeparators(QStringLiteral("/data/X.BIN files/")));
}

void Module1Test::onlyRegularFilesOpen_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("why"); // "": opened
    QTest::newRow("file") << "file"
                          << "";
    QTest::newRow("link to a file") << "link"
                                    << "";
    QTest::newRow("pipe") << "fifo"
                          << "it is a pipe (FIFO), not a file";
    QTest::newRow("device") << "/dev/null"
                            << "it is a device, not a file";
    QTest::newRow("folder") << "folder"
                            << "it is a folder, not a file";
    QTest::newRow("missing") << "missing"
                             << "No such file or directory";
}

void Module1Test::onlyRegularFilesOpen() {
    QFETCH(QString, kind);
    QFETCH(QString, why);
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("file"));
    QFile(file).open(QIODevice::WriteOnly);
    QString path = kind.startsWith(QLatin1Char('/')) ? kind : dir.filePath(kind);
    if (kind == QLatin1String("link")) {
        QVERIFY(QFile::link(file, path));
    } else if (kind == QLatin1String("fifo")) {
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    } else if (kind == QLatin1String("folder")) {
        QVERIFY(QDir().mkdir(path));
    }
    QFile opened;
    bool special = false;
    QCOMPARE(core::OpenRegularFile(opened, path, &special), why);
    QCOMPARE(opened.isOpen(), why.isEmpty());
    QCOMPARE(special, why.startsWith(QLatin1String("it is")));
}

QTEST_MAIN(Module1Test)
#include "tst_module1.moc"
