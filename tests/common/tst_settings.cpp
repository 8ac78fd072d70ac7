#include "ImageFiles.h"
#include "platform/QtSettingsStore.h"

#include <QTemporaryDir>
#include <QtTest>

// The settings file as people write it by hand and as Qt writes it.
class SettingsTest : public QObject {
    Q_OBJECT

private slots:
    void generalIsReadInEitherForm_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("fastReceive"); // General/FastReceive as read
        QTest::addColumn<QString>("comm1");       // Ports/Comm1 as read
        QTest::newRow("as Qt writes it")
            << QByteArray("[%General]\nFastReceive=true\n[Ports]\nComm1=sim\n") << "true"
            << "sim";
        QTest::newRow("written by hand")
            << QByteArray("[General]\nFastReceive=true\n\n[Ports]\nComm1=/dev/ttyUSB0\n") << "true"
            << "/dev/ttyUSB0";
        QTest::newRow("both: Qt's form counts")
            << QByteArray("[General]\nFastReceive=true\n[%General]\nFastReceive=false\n") << "false"
            << "-";
        QTest::newRow("neither") << QByteArray("[Ports]\nFastReceive=true\n") << "-"
                                 << "-";
    }
    void generalIsReadInEitherForm() {
        QFETCH(QByteArray, file);
        QFETCH(QString, fastReceive);
        QFETCH(QString, comm1);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("VidAvev.ini"));
        WriteFile(path, file);
        platform::QtSettingsStore settings(path);
        QCOMPARE(settings.GetSetting("General", "FastReceive", "-"), fastReceive);
        QCOMPARE(settings.GetSetting("Ports", "Comm1", "-"), comm1);
        // Only the section General: another section's key is never taken from the top.
        QCOMPARE(settings.GetSetting("Ports", "FastReceive", "-"),
                 file.startsWith("[Ports]") ? QStringLiteral("true") : QStringLiteral("-"));
    }

    void generalIsWrittenAsQtWritesIt() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("VidAvev.ini"));
        WriteFile(path, "[General]\nFastReceive=true\nLanguage=Deutsch.lpk\n");
        {
            platform::QtSettingsStore settings(path);
            settings.SaveSetting("General", "FastReceive", "false");
        }
        const QByteArray written = ReadFile(path);
        QVERIFY2(written.contains("[%General]"), written.constData());
        QVERIFY2(!written.contains("FastReceive=true"), written.constData());
        platform::QtSettingsStore again(path);
        QCOMPARE(again.GetSetting("General", "FastReceive"), QStringLiteral("false"));
        QCOMPARE(again.GetSetting("General", "Language"), QStringLiteral("Deutsch.lpk"));
    }
};

QTEST_MAIN(SettingsTest)
#include "tst_settings.moc"
