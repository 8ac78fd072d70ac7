#include "TestServices.h"
#include "common/Module1.h"
#include "core/DeviceCatalogue.h"
#include "core/Progress.h"
#include "programmer/Form3.h"
#include "programmer/frmMain.h"

#include <QAccessible>
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
        for (QMenu* menu : {w.mnuPort_Number, w.mnuDevice}) { // an access key to each item
            QList<QKeySequence> keys;
            for (QAction* item : menu->actions()) {
                const QKeySequence key = QKeySequence::mnemonic(item->text());
                QVERIFY2(item->isSeparator() || (!key.isEmpty() && !keys.contains(key)),
                         qPrintable(item->text()));
                keys << key;
            }
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

    // A screen reader reads the progress line itself, and the bar's value.
    void workingWindowIsReadAloud() {
        Form3 f;
        f.show();
        core::Progress progress;
        progress.phase = core::Phase::Receiving;
        progress.done = 137;
        progress.total = 256;
        progress.leftMs = 9000;
        progress.cancellable = true;
        f.ShowProgress(progress);
        const QString line = QStringLiteral("Reading 137 of 256 bytes \u2014 9 s left");
        QAccessibleInterface* label = QAccessible::queryAccessibleInterface(f.lblProgress);
        QAccessibleInterface* bar = QAccessible::queryAccessibleInterface(f.progressBar);
        QVERIFY(label && bar && bar->valueInterface());
        QCOMPARE(label->text(QAccessible::Name), line);
        QCOMPARE(bar->text(QAccessible::Name), QStringLiteral("Operation progress"));
        QCOMPARE(bar->text(QAccessible::Description), line);
        QCOMPARE(bar->valueInterface()->currentValue().toInt(), 137);
        QCOMPARE(bar->valueInterface()->maximumValue().toInt(), 256);
    }
};

QTEST_MAIN(MainWindowTest)
#include "tst_mainwindow.moc"
