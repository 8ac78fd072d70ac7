#include "GridHost.h"

#include <QKeyEvent>
#include <QSignalSpy>
#include <QtTest>

class tst_PictureBox : public QObject {
    Q_OBJECT

private slots:
    void drawingStaysInTheImage() {
        PictureBox box;
        box.resize(200, 100); // never shown: the image follows the size anyway
        box.SetBackColor(Qt::white);
        box.TextOut(10, 10, QStringLiteral("Hello"));
        const QRect text(10, 10, box.TextWidth(QStringLiteral("Hello")),
                         box.TextHeight(QStringLiteral("ql")));
        const QRect ink = InkBounds(box.Image(), Qt::white);
        QVERIFY(!ink.isEmpty() && text.contains(ink));
        box.resize(300, 120); // growing keeps what was drawn
        QCOMPARE(InkBounds(box.Image(), Qt::white), ink);
        box.Cls();
        QVERIFY(InkBounds(box.Image(), Qt::white).isEmpty());
    }

    void markerInvertsOnlyOnScreen() {
        PictureBox box;
        box.resize(100, 100);
        box.FillBox(QRect(0, 0, 100, 100), QColor(0x10, 0x20, 0x30));
        auto* marker = new MarkerShape(&box);
        marker->Move(20, 20, 10, 8);
        const QImage shown = box.Rendered();
        QCOMPARE(InkBounds(shown, box.Image().pixelColor(0, 0)), QRect(20, 20, 10, 8));
        QCOMPARE(shown.pixelColor(25, 24), QColor(0xEF, 0xDF, 0xCF));
        QCOMPARE(box.grab().toImage(), shown);
        marker->SetVisible(false);
        QCOMPARE(box.Rendered(), box.Image());
        marker->SetVisible(true);
        delete marker;
        QCOMPARE(box.Rendered(), box.Image());
    }

    void keyCodes() {
        PictureBox box;
        QSignalSpy down(&box, &PictureBox::KeyDown);
        QSignalSpy up(&box, &PictureBox::KeyUp);
        const auto send = [&](QEvent::Type type, int key, Qt::KeyboardModifiers modifiers) {
            QKeyEvent event(type, key, modifiers);
            QApplication::sendEvent(&box, &event);
            const QVariantList args = (type == QEvent::KeyPress ? down : up).takeFirst();
            return QStringLiteral("%1/%2").arg(args[0].toInt()).arg(args[1].toInt());
        };
        const Qt::KeyboardModifiers ctrl = Qt::ControlModifier;
        QCOMPARE(send(QEvent::KeyPress, Qt::Key_End, Qt::ShiftModifier | ctrl), "35/3");
        QCOMPARE(send(QEvent::KeyPress, Qt::Key_Home, Qt::AltModifier), "36/4");
        QCOMPARE(send(QEvent::KeyPress, Qt::Key_Enter, Qt::KeypadModifier), "13/0");
        // Ctrl counts in its own key-down, not in its key-up.
        QCOMPARE(send(QEvent::KeyPress, Qt::Key_Control, Qt::NoModifier), "17/2");
        QCOMPARE(send(QEvent::KeyRelease, Qt::Key_Control, ctrl), "17/0");
    }

    void clicksAndFocus() {
        GridHost host(1000, QSize(100, 100));
        host.other->setFocus();
        host.window.show();
        QVERIFY(QTest::qWaitForWindowActive(&host.window));
        QSignalSpy got(host.pic, &PictureBox::GotFocus);
        QSignalSpy mouse(host.pic, &PictureBox::MouseDown);
        QTest::mouseClick(host.pic, Qt::RightButton, Qt::ShiftModifier, QPoint(30, 40));
        QVERIFY(host.pic->Focused());
        QCOMPARE(mouse.takeFirst(), QVariantList({2, 1, 30, 40}));
        // A second window in front does not take the focus away as the program counts it.
        QWidget front;
        front.show();
        QVERIFY(QTest::qWaitForWindowActive(&front) && host.pic->Focused());
        host.window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&host.window));
        host.other->setFocus();
        QVERIFY(got.count() == 1 && !host.pic->Focused());
    }
};

QTEST_MAIN(tst_PictureBox)
#include "tst_PictureBox.moc"
