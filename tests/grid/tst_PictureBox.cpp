#include "GridHost.h"
#include "platform/Windows1252.h"

#include <QFontInfo>
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

        box.FillBox(QRect(100, 50, 20, 20), Qt::red);
        box.resize(300, 120); // growing keeps what was drawn
        QCOMPARE(box.Image().pixelColor(110, 60), QColor(Qt::red));
        QCOMPARE(box.Image().pixelColor(250, 110), QColor(Qt::white));
        box.Cls();
        QVERIFY(InkBounds(box.Image(), Qt::white).isEmpty());
    }

    void markerModes() {
        PictureBox box;
        box.resize(100, 100);
        const QColor back(0x10, 0x20, 0x30);
        const QColor inverted(0xEF, 0xDF, 0xCF);
        box.FillBox(QRect(0, 0, 100, 100), back);
        auto* marker = new MarkerShape(&box);
        marker->Move(20, 20, 10, 8);
        // Inverted inside, from its corner, and on screen; the image itself is untouched.
        QImage shown = box.Rendered();
        QVERIFY(shown.pixelColor(25, 24) == inverted && shown.pixelColor(20, 20) == inverted);
        QCOMPARE(shown.pixelColor(30, 24), back);
        QCOMPARE(box.Image().pixelColor(25, 24), back);
        QCOMPARE(box.grab().toImage().pixelColor(25, 24), inverted);
        marker->SetDrawMode(MarkerShape::vbMaskPen); // a black outline only
        shown = box.Rendered();
        QVERIFY(shown.pixelColor(20, 24) == Qt::black && shown.pixelColor(29, 27) == Qt::black);
        QVERIFY(shown.pixelColor(25, 24) == back && shown.pixelColor(30, 24) == back);

        marker->SetVisible(false);
        QCOMPARE(box.Rendered(), box.Image());
        marker->SetVisible(true);
        delete marker;
        QCOMPARE(box.Rendered(), box.Image());
    }

    void missingFontFallsBackToFixedPitch() {
        PictureBox box;
        box.SetFontSpec(QStringLiteral("No Such Family At All"), 9);
        QVERIFY(QFontInfo(box.font()).fixedPitch());
        QCOMPARE(box.font().pointSizeF(), 9.0);
        box.SetFontSpec(QStringLiteral("Courier New"), 9);
        QCOMPARE(box.TextWidth(QStringLiteral("ii")), box.TextWidth(QStringLiteral("WW")));
    }

    void keyCodes() {
        PictureBox box;
        QSignalSpy down(&box, &PictureBox::KeyDown);
        QSignalSpy up(&box, &PictureBox::KeyUp);
        QStringList seen;
        const auto send = [&](QEvent::Type type, int key, Qt::KeyboardModifiers modifiers) {
            QKeyEvent event(type, key, modifiers);
            QApplication::sendEvent(&box, &event);
            const QVariantList args = (type == QEvent::KeyPress ? down : up).takeFirst();
            seen << QStringLiteral("%1/%2").arg(args[0].toInt()).arg(args[1].toInt());
        };
        const Qt::KeyboardModifiers none = Qt::NoModifier, ctrl = Qt::ControlModifier;
        for (const auto& [key, modifiers] : QList<QPair<int, Qt::KeyboardModifiers>>{
                 {Qt::Key_Down, none},
                 {Qt::Key_PageUp, ctrl},
                 {Qt::Key_End, Qt::ShiftModifier | ctrl},
                 {Qt::Key_Home, Qt::AltModifier},
                 {Qt::Key_Tab, none},
                 {Qt::Key_Return, none},
                 {Qt::Key_Enter, Qt::KeypadModifier},
                 {Qt::Key_A, Qt::ShiftModifier},
                 {Qt::Key_7, none},
                 {Qt::Key_Control, none}}) { // Ctrl counts in its own key-down
            send(QEvent::KeyPress, key, modifiers);
        }
        send(QEvent::KeyRelease, Qt::Key_Control, ctrl); // not in its key-up
        QCOMPARE(seen, QStringList({"40/0", "33/2", "35/3", "36/4", "9/0", "13/0", "13/0", "65/1",
                                    "55/0", "17/2", "17/0"}));
    }

    void typedCharacters() {
        PictureBox box;
        QList<int> typed;
        connect(&box, &PictureBox::KeyPress, &box, [&](int& keyAscii) { typed << keyAscii; });
        // Delete and Tab type nothing; Omega is not in the code page.
        for (const auto& [key, text] : QList<QPair<Qt::Key, QString>>{{Qt::Key_A, "a"},
                                                                      {Qt::Key_Return, "\r"},
                                                                      {Qt::Key_Backspace, "\b"},
                                                                      {Qt::Key_unknown, "\u00E9"},
                                                                      {Qt::Key_unknown, "\u20AC"},
                                                                      {Qt::Key_unknown, "\u03A9"},
                                                                      {Qt::Key_Delete, "\u007F"},
                                                                      {Qt::Key_Tab, "\t"},
                                                                      {Qt::Key_Left, ""}}) {
            QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier, text);
            QApplication::sendEvent(&box, &event);
        }
        QCOMPARE(typed, QList<int>({0x61, 13, 8, 0xE9, 0x80, 0}));
    }

    void clicksAndFocus() {
        GridHost host(1000, QSize(100, 100));
        host.other->setFocus();
        host.window.show();
        QVERIFY(QTest::qWaitForWindowActive(&host.window));
        QSignalSpy got(host.pic, &PictureBox::GotFocus);
        QSignalSpy lost(host.pic, &PictureBox::LostFocus);
        QSignalSpy mouse(host.pic, &PictureBox::MouseDown);
        QSignalSpy click(host.pic, &PictureBox::Click);
        QTest::mouseClick(host.pic, Qt::RightButton, Qt::ShiftModifier, QPoint(30, 40));
        QVERIFY(host.pic->hasFocus() && host.pic->Focused());
        QCOMPARE(mouse.takeFirst(), QVariantList({2, 1, 30, 40}));
        QCOMPARE(got.count(), 1);
        QCOMPARE(click.count(), 1);

        // A second window in front does not take the focus away as the program counts it.
        QWidget front;
        front.show();
        front.activateWindow();
        if (QTest::qWaitForWindowActive(&front)) {
            QCOMPARE(lost.count(), 0);
            host.window.activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(&host.window));
            QCOMPARE(got.count(), 1);
        }
        host.other->setFocus();
        QCOMPARE(lost.count(), 1);
        QVERIFY(!host.pic->Focused());
    }

    void codePage() {
        // Every code but the five the code page leaves undefined goes there and back.
        QList<int> lost;
        for (int code = 1; code < 256; ++code) {
            if (platform::ToWindows1252(platform::FromWindows1252(code)) != code) {
                lost << code;
            }
        }
        QCOMPARE(lost, QList<int>({0x81, 0x8D, 0x8F, 0x90, 0x9D}));
        QCOMPARE(platform::FromWindows1252(0x99), QChar(0x2122)); // ™
    }
};

QTEST_MAIN(tst_PictureBox)
#include "tst_PictureBox.moc"
