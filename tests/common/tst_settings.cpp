#include "EditorFiles.h"
#include "TableRows.h"
#include "platform/QtSettingsStore.h"

#include <QTemporaryDir>
#include <QtTest>

// The settings file as people write it by hand and as Qt writes it.
class SettingsTest : public QObject {
    Q_OBJECT

private slots:
    void generalIsReadInEitherForm_data() {
        // fastReceive: General/FastReceive as read; comm1: Ports/Comm1 as read
        Columns<QByteArray, QString, QString>({"file", "fastReceive", "comm1"});
        // clang-format off
        QTest::newRow("as Qt writes it") << QByteArray("[%General]\nFastReceive=true\n[Ports]\nComm1=sim\n") << "true" << "sim";
        QTest::newRow("written by hand") << QByteArray("[General]\nFastReceive=true\n\n[Ports]\nComm1=/dev/ttyUSB0\n") << "true" << "/dev/ttyUSB0";
        QTest::newRow("both: Qt's form counts") << QByteArray("[General]\nFastReceive=true\n[%General]\nFastReceive=false\n") << "false" << "-";
        QTest::newRow("neither") << QByteArray("[Ports]\nFastReceive=true\n") << "-" << "-";
        // clang-format on
    }
    void generalIsReadInEitherForm() {
        QFETCH(QByteArray, file);
        QTemporaryDir dir;
        platform::QtSettingsStore settings(WriteFile(dir.filePath("VidAvev.ini"), file));
        QTEST(settings.GetSetting("General", "FastReceive", "-"), "fastReceive");
        QTEST(settings.GetSetting("Ports", "Comm1", "-"), "comm1");
        // Only the section General: another section's key is never taken from the top.
        QCOMPARE(settings.GetSetting("Ports", "FastReceive", "-"),
                 file.startsWith("[Ports]") ? QStringLiteral("true") : QStringLiteral("-"));
    }

    void generalIsWrittenAsQtWritesIt() {
        QTemporaryDir dir;
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

QTEST_MAIN(SettingsTest)
#include "tst_settings.moc"
