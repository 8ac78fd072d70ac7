#include "about/frmAbout.h"

#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QtTest>

// Each opening starts from the prompt; an item shows its text; OK, the close box, Esc and
// Enter all close the window, which then deletes itself.
class AboutTest : public QObject {
    Q_OBJECT

    const QString Title = QStringLiteral("TMS370 EEPROM Programmer");

private slots:
    void openingsItemsAndClosing_data() {
        QTest::addColumn<int>("key"); // 0: the OK button, -1: the close box
        QTest::addColumn<bool>("onList");
        for (int key : {0, -1, int(Qt::Key_Escape), int(Qt::Key_Enter), int(Qt::Key_Return)}) {
            for (bool onList : {false, true}) {
                QTest::addRow("key %x, %s", key, onList ? "on the list" : "on OK") << key << onList;
            }
        }
    }
    void openingsItemsAndClosing() {
        QFETCH(int, key);
        QFETCH(bool, onList);
        int closed = 0;
        for (int opening = 1; opening <= 2; ++opening) {
            auto* about = new frmAbout(Title, QStringLiteral("features"), [&] { ++closed; });
            QPointer<frmAbout> window(about);
            about->show();
            QCOMPARE(about->lblInfo->text(), "Please, select information item above!!!");
            QCOMPARE(about->lblInfo->palette().color(QPalette::WindowText), QColor(Qt::white));
            const QRect item = about->lstMain->visualItemRect(about->lstMain->item(2));
            QTest::mouseClick(about->lstMain->viewport(), Qt::LeftButton, {}, item.center());
            QCOMPARE(about->lblInfo->text(), "features");
            about->lstMain_ItemClick(4); // the last item
            QVERIFY(about->lblInfo->text().contains("2026"));
            about->lstMain_ItemClick(opening == 1 ? 5 : 0); // no such item: the text stays
            QVERIFY(about->lblInfo->text().contains("2026"));
            about->activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(about));
            QWidget* focus = onList ? static_cast<QWidget*>(about->lstMain) : about->cmdOK;
            focus->setFocus();
            if (key == 0) {
                QTest::mouseClick(about->cmdOK, Qt::LeftButton);
            } else if (key < 0) {
                about->close();
            } else {
                QTest::keyClick(focus, Qt::Key(key));
            }
            QCOMPARE(closed, opening);
            QVERIFY(!about->isVisible());
            QTRY_VERIFY(window.isNull());
        }
    }
};

QTEST_MAIN(AboutTest)
#include "tst_about.moc"
