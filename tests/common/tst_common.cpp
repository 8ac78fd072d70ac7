// What the windows share: program values, the working image's place, refusing pipes, devices,
// the settings file as people write it by hand and as Qt writes it.
#include "EditorFiles.h"
#include "TableRows.h"
#include "common/Module1.h"
#include "core/RegularFile.h"
#include "platform/QtSettingsStore.h"

#include <QTemporaryDir>
#include <QtTest>
#include <sys/stat.h>
#include <unistd.h>

class CommonTest : public QObject {
    Q_OBJECT

private slots:
    void programValues_data() {
        // setting: "-": none
        Columns<QString, QString, QString, QString>({"folder", "setting", "appFolder", "file"});
        // clang-format off
        QTest::newRow("none") << "/opt/tms370" << "-" << "/opt/tms370/" << "English.lpk";
        QTest::newRow("another file, a drive's root") << "/" << "Deutsch.lpk" << "/" << "Deutsch.lpk";
        QTest::newRow("a path") << "/opt/" << "/etc/passwd" << "/opt/" << "English.lpk";
        QTest::newRow("a Windows path") << "/opt" << "lang\\English.lpk" << "/opt/" << "English.lpk";
        QTest::newRow("dots") << "/opt" << ".." << "/opt/" << "English.lpk";
        // clang-format on
    }

    void programValues() {
        const auto [folder, setting] = Row<QString, QString>({"folder", "setting"});
        QTemporaryDir dir;
        platform::QtSettingsStore settings(dir.filePath(QStringLiteral("s.ini")));
        if (setting != QLatin1String("-")) {
            settings.SaveSetting(QStringLiteral("General"), QStringLiteral("Language"), setting);
        }
        const Module1::ProgramPlaces places = Module1::ProgramPlacesOf(folder, settings);
        QTEST(places.appFolder, "appFolder");
        QTEST(places.languageFile, "file");
    }

    void languageFileBesideOrShared() {
        QTemporaryDir root;
        QVERIFY(QDir(root.path()).mkpath("share/tms370prog") && QDir(root.path()).mkpath("bin"));
        Module1::ProgramPlaces places;
        places.appFolder = root.filePath(QStringLiteral("bin/"));
        const QString beside = root.filePath(QStringLiteral("bin/English.lpk"));
        const QString shared = root.filePath(QStringLiteral("share/tms370prog/English.lpk"));
        QCOMPARE(places.LanguageFilePath(), beside); // neither
        QVERIFY(QFile(shared).open(QIODevice::WriteOnly));
        QCOMPARE(places.LanguageFilePath(), shared); // an installed tree
        QVERIFY(QFile(beside).open(QIODevice::WriteOnly));
        QCOMPARE(places.LanguageFilePath(), beside); // the build tree
    }

    void workImagePath() {
        QCOMPARE(Module1::WorkImagePath(QStringLiteral("t")), QStringLiteral("t/hexfiletemp.tmp"));
        QTemporaryDir dir;
        const QByteArray saved = qgetenv("TMPDIR");
        qputenv("TMPDIR", QFile::encodeName(dir.path()) + '/');
        const QString plain = dir.filePath(QStringLiteral("hexfiletemp.tmp"));
        QCOMPARE(Module1::WorkImagePath(), plain);
        // Another user's image at that name: ours goes into a folder only we can enter.
        if (::geteuid() == 0) {
            QFile(plain).open(QIODevice::WriteOnly);
            QCOMPARE(::chown(QFile::encodeName(plain).constData(), 65534, 65534), 0);
            const QString image = Module1::WorkImagePath();
            QVERIFY(image != plain);
            QCOMPARE(int(QFileInfo(QFileInfo(image).path()).permissions()), 0x7700); // rwx------
        }
        qputenv("TMPDIR", saved);
    }

    void onlyRegularFilesOpen() { // why not; "": opened
        QTemporaryDir dir;
        const QString file = dir.filePath("file"), link = dir.filePath("link");
        const QString fifo = dir.filePath("fifo"), folder = dir.filePath("folder");
        QVERIFY(QFile(file).open(QIODevice::WriteOnly) && QFile::link(file, link) &&
                QDir().mkdir(folder));
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        const QList<std::pair<QString, QString>> cases = {
            {link, ""},
            {fifo, "it is a pipe (FIFO), not a file"},
            {"/dev/null", "it is a device, not a file"},
            {folder, "it is a folder, not a file"}};
        for (const auto& [path, why] : cases) {
            QFile opened;
            bool special = false;
            const uint descriptors = QDir(QStringLiteral("/proc/self/fd")).count();
            QCOMPARE(core::OpenRegularFile(opened, path, &special), why);
            QCOMPARE(QDir(QStringLiteral("/proc/self/fd")).count(),
                     descriptors + why.isEmpty()); // none left open
            QCOMPARE(opened.isOpen(), why.isEmpty());
            QCOMPARE(special, why.startsWith(QLatin1String("it is")));
        }
    }

    void generalIsReadInEitherFormWrittenAsQtWritesIt() {
        // General/FastReceive and Ports/Comm1 as read ("-": none) from a file as Qt writes it, as
        // written by hand, in both forms (Qt's counts), in neither
        const QList<std::tuple<QByteArray, QString, QString>> files = {
            {"[%General]\nFastReceive=true\n[Ports]\nComm1=sim\n", "true", "sim"},
            {"[General]\nFastReceive=true\n\n[Ports]\nComm1=/dev/ttyUSB0\n", "true",
             "/dev/ttyUSB0"},
            {"[General]\nFastReceive=true\n[%General]\nFastReceive=false\n", "false", "-"},
            {"[Ports]\nFastReceive=true\n", "-", "-"}};
        QTemporaryDir dir;
        for (const auto& [file, fastReceive, comm1] : files) {
            platform::QtSettingsStore settings(
                WriteFile(dir.filePath(QString::number(file.size())), file));
            QCOMPARE(settings.GetSetting("General", "FastReceive", "-") + ' ' +
                         settings.GetSetting("Ports", "Comm1", "-"),
                     fastReceive + ' ' + comm1);
            // Only the section General: another section's key is never taken from the top.
            QCOMPARE(settings.GetSetting("Ports", "FastReceive", "-"),
                     file.startsWith("[Ports]") ? QStringLiteral("true") : QStringLiteral("-"));
        }
        // Written by hand, written back as Qt writes it.
        const QString path = dir.filePath(QStringLiteral("VidAvev.ini"));
        WriteFile(path, "[General]\nFastReceive=true\nLanguage=Deutsch.lpk\n");
        platform::QtSettingsStore(path).SaveSetting("General", "FastReceive", "false");
        const QByteArray written = ReadFile(path);
        QVERIFY2(written.contains("[%General]") && !written.contains("FastReceive=true"),
                 written.constData());
        platform::QtSettingsStore again(path);
        QCOMPARE(again.GetSetting("General", "FastReceive") +
                     again.GetSetting("General", "Language"),
                 QStringLiteral("falseDeutsch.lpk"));
    }
};

QTEST_MAIN(CommonTest)
#include "tst_common.moc"
