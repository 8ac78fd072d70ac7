#include "common/Module1.h"
#include "platform/QtSettingsStore.h"

#include <QTemporaryDir>
#include <QtTest>

class Module1Test : public QObject {
    Q_OBJECT

private slots:
    void appFolderEndsInExactlyOneSeparator() {
        const QChar sep = Module1::PathSeparator();
        QTemporaryDir dir;
        platform::QtSettingsStore settings(dir.filePath(QStringLiteral("s.ini")));

        Module1::InitProgramValues(QStringLiteral("/opt/tms370"), settings);
        QCOMPARE(Module1::AppFolder, QDir::toNativeSeparators(QStringLiteral("/opt/tms370")) + sep);

        // Started from a drive's root: the folder already ends in a separator.
        Module1::InitProgramValues(QStringLiteral("/"), settings);
        QCOMPARE(Module1::AppFolder, QString(sep));
    }

    void languageFileComesFromTheSettingsWithItsDefault() {
        QTemporaryDir dir;
        platform::QtSettingsStore settings(dir.filePath(QStringLiteral("s.ini")));
        Module1::InitProgramValues(QStringLiteral("/opt"), settings);
        QCOMPARE(Module1::LanguageFile, QStringLiteral("English.lpk"));

        settings.SaveSetting(QStringLiteral("General"), QStringLiteral("Language"),
                             QStringLiteral("Deutsch.lpk"));
        Module1::InitProgramValues(QStringLiteral("/opt"), settings);
        QCOMPARE(Module1::LanguageFile, QStringLiteral("Deutsch.lpk"));
    }

    void workImagePathHasOneSeparatorBeforeItsName() {
        const QString sep = Module1::PathSeparator();
        QCOMPARE(Module1::WorkImagePath(QStringLiteral("tmpdir")),
                 QStringLiteral("tmpdir") + sep + QStringLiteral("hexfiletemp.tmp"));
        QCOMPARE(Module1::WorkImagePath(QStringLiteral("tmpdir") + sep),
                 QStringLiteral("tmpdir") + sep + QStringLiteral("hexfiletemp.tmp"));

        QTemporaryDir dir;
        qputenv("TMPDIR", dir.path().toLocal8Bit());
        QVERIFY(Module1::GetTempFolder().endsWith(sep));
        QVERIFY(!Module1::GetTempFolder().endsWith(sep + sep));
        QCOMPARE(Module1::WorkImagePath(),
                 QDir::toNativeSeparators(dir.path()) + sep + QStringLiteral("hexfiletemp.tmp"));
    }
};

QTEST_MAIN(Module1Test)
#include "tst_module1.moc"
