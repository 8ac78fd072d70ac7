#include "TestServices.h"
#include "common/Module1.h"
#include "core/DeviceCatalogue.h"
#include "programmer/frmMain.h"

#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

class MainWindowTest : public QObject {
    Q_OBJECT

private slots:
    void startsWithTitleMenusAndDeviceMenuDisabled() {
        TestServices t;
        frmMain w(t.services, {});
        QCOMPARE(w.windowTitle(), QStringLiteral("TMS370 EEPROM Programmer"));
        QCOMPARE(w.Label1->text(), QStringLiteral("TMS370 EEPROM Programmer"));
        QVERIFY(!w.mnuDevice->menuAction()->isEnabled());
        QVERIFY(!w.IsDeviceSelected());
        QCOMPARE(w.PortNumber(), 0);
        for (int i = 0; i < 8; ++i) {
            QVERIFY(!w.deviceItems[i]->isChecked() && !w.mnuComm[i]->isChecked());
            QVERIFY(w.mnuComm[i]->isEnabled());
        }
    }

    void choosingADeviceChecksOnlyItsItem_data() {
        QTest::addColumn<int>("index");
        for (int i = 0; i < 8; ++i) {
            QTest::newRow(core::DeviceCatalogue[i].item) << i;
        }
    }
    void choosingADeviceChecksOnlyItsItem() {
        QFETCH(int, index);
        TestServices t;
        frmMain w(t.services, {});
        // Start from another device so the previous check mark has to go.
        w.deviceItems[(index + 3) % 8]->trigger();
        const core::DeviceRow& row = core::DeviceCatalogue[index];
        auto* item = w.findChild<QAction*>(QLatin1String(row.item));
        QVERIFY(item);
        item->trigger();
        for (int i = 0; i < 8; ++i) {
            QCOMPARE(w.deviceItems[i]->isChecked(), i == index);
        }
        QCOMPARE(w.Label1->text(), QLatin1String(row.status));
        QCOMPARE(w.DeviceCode(), QLatin1String(row.code));
        QVERIFY(w.IsDeviceSelected());
    }

    void closingDeletesThePresentWorkingImageAndEnds() {
        QTemporaryDir temp;
        qputenv("TMPDIR", temp.path().toLocal8Bit());
        const QString image = Module1::WorkImagePath();
        QVERIFY(image.startsWith(QDir::toNativeSeparators(temp.path())));

        for (bool present : {true, false}) {
            if (present) {
                QFile f(image);
                QVERIFY(f.open(QIODevice::WriteOnly));
                f.write("edit");
            }
            TestServices t;
            QStringList calls;
            frmMain::Links links;
            links.closeAllFiles = [&] { calls << "closeAllFiles"; };
            links.unloadOthers = [&] { calls << "unloadOthers"; };
            links.endProgram = [&] { calls << "endProgram"; };
            frmMain w(t.services, links);
            w.show();
            QVERIFY(w.close());
            QVERIFY(!QFile::exists(image));
            QCOMPARE(calls, (QStringList{"closeAllFiles", "unloadOthers", "endProgram"}));
            QVERIFY(t.messages.shown.isEmpty());
        }
        qunsetenv("TMPDIR");
    }

    void memoryAndAboutHideTheMainWindow() {
        TestServices t;
        QStringList shown;
        frmMain::Links links;
        links.showMemory = [&] { shown << "memory"; };
        links.showAbout = [&] { shown << "about"; };
        frmMain w(t.services, links);
        for (QAction* item : {w.mnuMemory, w.mnuAbout}) {
            w.show();
            item->trigger();
            QVERIFY(w.isHidden());
        }
        QCOMPARE(shown, (QStringList{"memory", "about"}));
    }
};

QTEST_MAIN(MainWindowTest)
#include "tst_mainwindow.moc"
