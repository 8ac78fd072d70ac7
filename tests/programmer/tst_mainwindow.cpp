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
    void startsWithTitleAndDeviceMenuDisabled() {
        TestServices t;
        frmMain w(t.services, {});
        QCOMPARE(w.windowTitle(), QStringLiteral("TMS370 EEPROM Programmer"));
        QCOMPARE(w.Label1->text(), QStringLiteral("TMS370 EEPROM Programmer"));
        QVERIFY(!w.mnuDevice->menuAction()->isEnabled());
        QVERIFY(!w.IsDeviceSelected());
        QCOMPARE(w.PortNumber(), 0);
        for (QAction* item : w.deviceItems) {
            QVERIFY(!item->isChecked());
        }
        for (QAction* item : w.mnuComm) {
            QVERIFY(item->isEnabled());
            QVERIFY(!item->isChecked());
        }
    }

    void layoutFollowsTheDesign() {
        TestServices t;
        frmMain w(t.services, {});
        QCOMPARE(w.centralWidget()->size(), QSize(329, 402));
        QCOMPARE(w.Frame1->geometry(), QRect(21, 57, 286, 85));
        QCOMPARE(w.Frame1->title(), QStringLiteral("Main Control"));
        QCOMPARE(w.Frame2->title(), QStringLiteral("Auxilary Control"));
        QCOMPARE(w.Command1->text(), QStringLiteral(" READ    <-------"));
        QCOMPARE(w.Command1->parentWidget(), w.Frame1);
        QCOMPARE(w.Command2->text(), QStringLiteral("PROGRAM ------->"));
        QCOMPARE(w.Command3->text(), QStringLiteral("VERIFY <----->"));
        QCOMPARE(w.Command3->geometry(), QRect(198, 33, 73, 31));
        QCOMPARE(w.Command4->text(), QStringLiteral("CLEAR WPO REGISTER #00h"));
        QCOMPARE(w.Command4->parentWidget(), w.Frame2);
        QCOMPARE(w.Command5->text(), QStringLiteral("EEPROM BULK ERASE #FFh"));
        QCOMPARE(w.Command5->parentWidget(), w.centralWidget());
        QCOMPARE(w.Command5->geometry(), QRect(30, 258, 262, 28));
        QCOMPARE(w.Label1->geometry(), QRect(21, 324, 289, 39));
        QVERIFY(w.Command1->font().bold());
        QCOMPARE(w.Command1->font().pointSizeF(), 8.25);
        QCOMPARE(w.Label1->font().pointSizeF(), 9.75);

        // Tab order among the controls that take the focus.
        auto nextTabStop = [](QWidget* from) {
            QWidget* next = from->nextInFocusChain();
            while (!(next->focusPolicy() & Qt::TabFocus)) {
                next = next->nextInFocusChain();
            }
            return next;
        };
        QCOMPARE(nextTabStop(w.Command1), w.Command2);
        QCOMPARE(nextTabStop(w.Command2), w.Command3);
        QCOMPARE(nextTabStop(w.Command3), w.Command4);
        QCOMPARE(nextTabStop(w.Command4), w.Command5);

        QStringList menus;
        for (QAction* a : w.menuBar()->actions()) {
            menus << a->text();
        }
        QCOMPARE(menus, (QStringList{"&Port Number", "&Device", "&Memory", "&About"}));
        for (int n = 1; n <= 8; ++n) {
            auto* item = w.findChild<QAction*>(QStringLiteral("mnuComm%1").arg(n));
            QVERIFY(item);
            QCOMPARE(item->text(), QStringLiteral("&Comm%1").arg(n));
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
        QCOMPARE(item->text(), QLatin1String(row.caption));
        item->trigger();
        for (int i = 0; i < 8; ++i) {
            QCOMPARE(w.deviceItems[i]->isChecked(), i == index);
        }
        QCOMPARE(w.Label1->text(), QLatin1String(row.status));
        QCOMPARE(w.DeviceCode(), QLatin1String(row.code));
        QVERIFY(w.IsDeviceSelected());
    }

    void catalogueHoldsTheChipsAdaptersAndFamilies() {
        QStringList rows;
        for (const core::DeviceRow& row : core::DeviceCatalogue) {
            rows << QStringLiteral("%1|%2|%3|%4").arg(row.item, row.caption, row.status, row.code);
        }
        QCOMPARE(rows, (QStringList{
                           "mnuTMS370CX56A|&TMS370CX56A|Device : TMS370C756A / Adapter : KV-4|x",
                           "mnuTMS370CX58A|&TMS370CX58A|Device : TMS370C758A / Adapter : KV-4|y",
                           "mnuTMS370CX42A|&TMS370CX42A|Device : TMS370C742A / Adapter : KV-3|y",
                           "mnuTMS370C036|&TMS370C036|Device : TMS370C036 / Adapter : KV-7|y",
                           "mnuTMS370CX02|&TMS370CX02|Device : TMS370C702 / Adapter : KV-2|y",
                           "mnuTMS370C006|&TMS375C006|Device : TMS375C006 / Adapter : KV-1|x",
                           "mnuTMS374C003|&TMS374C003|Device : TMS374C003A / Adapter : KV-5|t",
                           "mnuTMS374C013|&TMS374C013|Device : TMS374C013A / Adapter : KV-6|t",
                       }));
    }

    void featuresTextIsTheDeviceListOnOneLine() {
        QCOMPARE(core::FeaturesText(),
                 QStringLiteral(
                     "TMS370C756A 1E00h-1FFFh EEPROM 68PLCC TMS370C758A 1F00h-1FFFh EEPROM 68PLCC "
                     "TMS370C742A 1F00h-1FFFh EEPROM 44PLCC TMS370C036 1F00-1FFFh EEPROM 44PLCC "
                     "TMS370C702 1F00h-1FFFh EEPROM 28PLCC TMS375C006 1E00h-1FFFh EEPROM 44PLCC "
                     "TMS374C003A 1F00h-1FFFh EEPROM 100QFP TMS374C013A 1F00h-1FFFh EEPROM "
                     "100QFP"));
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
        int memory = 0;
        int about = 0;
        frmMain::Links links;
        links.showMemory = [&] { ++memory; };
        links.showAbout = [&] { ++about; };
        frmMain w(t.services, links);
        w.show();
        w.mnuMemory->trigger();
        QCOMPARE(memory, 1);
        QVERIFY(w.isHidden());
        w.show();
        w.mnuAbout->trigger();
        QCOMPARE(about, 1);
        QVERIFY(w.isHidden());
    }
};

QTEST_MAIN(MainWindowTest)
#include "tst_mainwindow.moc"
