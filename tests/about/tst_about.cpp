#include "about/frmAbout.h"

#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QtTest>

namespace {
const QString Title = QStringLiteral("TMS370 EEPROM Programmer");
const QString Prompt = QStringLiteral("Please, select information item above!!!");
} // namespace

class AboutTest : public QObject {
    Q_OBJECT

private slots:
    void everyOpeningStartsWithThePrompt() {
        int closed = 0;
        for (int opening = 0; opening < 2; ++opening) {
            auto* about = new frmAbout(Title, QStringLiteral("features"), [&] { ++closed; });
            about->show();
            QCOMPARE(about->windowTitle(), QStringLiteral("About ") + Title);
            QCOMPARE(about->lblInfo->text(), Prompt);
            QCOMPARE(about->lblInfo->palette().color(QPalette::WindowText), QColor(Qt::white));
            about->lstMain_ItemClick(2);
            // OK, or the title bar's close button, which acts as OK.
            opening == 0 ? QTest::mouseClick(about->cmdOK, Qt::LeftButton) : (void)about->close();
            QCOMPARE(closed, opening + 1);
        }
    }

    void itemsShowTheirTexts() {
        frmAbout about(Title, QStringLiteral("the device list"), nullptr);
        QCOMPARE(about.lstMain->count(), 4);
        const QStringList shown{"Product", "Vesion", "Features", "Company"};
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(about.lstMain->item(i)->text(), shown[i]);
        }
        about.show();
        const QRect vesion = about.lstMain->visualItemRect(about.lstMain->item(1));
        QTest::mouseClick(about.lstMain->viewport(), Qt::LeftButton, {}, vesion.center());
        QCOMPARE(about.lblInfo->text(), Title + QStringLiteral(" software v 1.9"));

        const QStringList texts{Title + " EEPROM programmer", "the device list"};
        for (int item : {1, 3}) {
            about.lstMain_ItemClick(item);
            QCOMPARE(about.lblInfo->text(), texts[item / 2]);
        }
        about.lstMain_ItemClick(4);
        about.lstMain_ItemClick(7); // no such item: the text stays
        QVERIFY(about.lblInfo->text().contains(QStringLiteral("2026")));
    }

    void escAndEnterActAsOK_data() {
        QTest::addColumn<int>("key");
        QTest::addColumn<bool>("onList"); // the focus on the list, else on OK
        for (const auto& [name, key] :
             {std::pair{"Esc", Qt::Key_Escape}, std::pair{"Enter", Qt::Key_Enter},
              std::pair{"Return", Qt::Key_Return}}) {
            QTest::addRow("%s on the list", name) << int(key) << true;
            QTest::addRow("%s on OK", name) << int(key) << false;
        }
    }
    void escAndEnterActAsOK() {
        QFETCH(int, key);
        QFETCH(bool, onList);
        int closed = 0;
        auto* about = new frmAbout(Title, QStringLiteral("features"), [&] { ++closed; });
        QPointer<frmAbout> window(about);
        about->show();
        about->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(about));
        QWidget* focus = onList ? static_cast<QWidget*>(about->lstMain) : about->cmdOK;
        focus->setFocus();
        QTest::keyClick(focus, Qt::Key(key));
        QCOMPARE(closed, 1);
        QVERIFY(!about->isVisible());
        QTRY_VERIFY(window.isNull()); // it deletes itself on close
    }
};

QTEST_MAIN(AboutTest)
#include "tst_about.moc"
