#include "platform/PictureBox.h"
#include "platform/Windows1252.h"

#include <QFontInfo>
#include <QKeyEvent>
#include <QLineEdit>
#include <QSignalSpy>
#include <QtTest>

class tst_PictureBox : public QObject {
    Q_OBJECT

private slots:
    void drawingStaysInTheImage();
    void markerModes();
    void missingFontFallsBackToFixedPitch();
    void keyCodes();
    void typedCharacters();
    void clicksAndFocus();
    void codePage();
};

namespace {

int Inked(const QImage& image, const QRect& area, QRgb back) {
    int count = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            count += image.pixel(x, y) != back;
        }
    }
    return count;
}

} // namespace

void tst_PictureBox::drawingStaysInTheImage() {
    PictureBox box;
    box.resize(200, 100); // never shown: the image follows the size anyway
    box.SetBackColor(Qt::white);
    box.TextOut(10, 10, QStringLiteral("Hello"));
    const QRgb white = QColor(Qt::white).rgb();
    const QRect text(10, 10, box.TextWidth(QStringLiteral("Hello")),
                     box.TextHeight(QStringLiteral("ql")));
    QVERIFY(Inked(box.Image(), text, white) > 0);
    QCOMPARE(Inked(box.Image(), box.Image().rect(), white), Inked(box.Image(), text, white));

    box.FillBox(QRect(100, 50, 20, 20), Qt::red);
    QCOMPARE(box.Image().pixelColor(110, 60), QColor(Qt::red));
    box.resize(300, 120); // growing keeps what was drawn
    QCOMPARE(box.Image().pixelColor(110, 60), QColor(Qt::red));
    QCOMPARE(box.Image().pixelColor(250, 110), QColor(Qt::white));
    box.Cls();
    QCOMPARE(Inked(box.Image(), box.Image().rect(), white), 0);
}

void tst_PictureBox::markerModes() {
    PictureBox box;
    box.resize(100, 100);
    box.FillBox(QRect(0, 0, 100, 100), QColor(0x10, 0x20, 0x30));
    auto* marker = new MarkerShape(&box);
    marker->Move(20, 20, 10, 8);

    QImage shown = box.Rendered();
    QCOMPARE(shown.pixelColor(25, 24), QColor(0xEF, 0xDF, 0xCF)); // inverted
    QCOMPARE(shown.pixelColor(20, 20), QColor(0xEF, 0xDF, 0xCF));
    QCOMPARE(shown.pixelColor(30, 24), QColor(0x10, 0x20, 0x30));                // just outside
    QCOMPARE(box.Image().pixelColor(25, 24), QColor(0x10, 0x20, 0x30));          // image untouched
    QCOMPARE(box.grab().toImage().pixelColor(25, 24), QColor(0xEF, 0xDF, 0xCF)); // on screen

    marker->SetDrawMode(MarkerShape::vbMaskPen);
    shown = box.Rendered();
    QCOMPARE(shown.pixelColor(20, 24), QColor(Qt::black)); // outline
    QCOMPARE(shown.pixelColor(29, 27), QColor(Qt::black));
    QCOMPARE(shown.pixelColor(25, 24), QColor(0x10, 0x20, 0x30)); // inside untouched
    QCOMPARE(shown.pixelColor(30, 24), QColor(0x10, 0x20, 0x30));

    marker->SetVisible(false);
    QCOMPARE(box.Rendered(), box.Image());
    delete marker;
    QCOMPARE(box.Rendered(), box.Image());
}

void tst_PictureBox::missingFontFallsBackToFixedPitch() {
    PictureBox box;
    box.SetFontSpec(QStringLiteral("No Such Family At All"), 9);
    QVERIFY(QFontInfo(box.font()).fixedPitch());
    QCOMPARE(box.font().pointSizeF(), 9.0);
    box.SetFontSpec(QStringLiteral("Courier New"), 9);
    QVERIFY(QFontInfo(box.font()).fixedPitch());
    QCOMPARE(box.TextWidth(QStringLiteral("ii")), box.TextWidth(QStringLiteral("WW")));
}

void tst_PictureBox::keyCodes() {
    PictureBox box;
    QSignalSpy down(&box, &PictureBox::KeyDown);
    QSignalSpy up(&box, &PictureBox::KeyUp);
    const QList<QPair<QPair<Qt::Key, Qt::KeyboardModifiers>, QPair<int, int>>> keys = {
        {{Qt::Key_Down, Qt::NoModifier}, {40, 0}},
        {{Qt::Key_PageUp, Qt::ControlModifier}, {33, 2}},
        {{Qt::Key_End, Qt::ShiftModifier | Qt::ControlModifier}, {35, 3}},
        {{Qt::Key_Home, Qt::AltModifier}, {36, 4}},
        {{Qt::Key_Tab, Qt::NoModifier}, {9, 0}},
        {{Qt::Key_Return, Qt::NoModifier}, {13, 0}},
        {{Qt::Key_Enter, Qt::KeypadModifier}, {13, 0}},
        {{Qt::Key_A, Qt::ShiftModifier}, {65, 1}},
        {{Qt::Key_7, Qt::NoModifier}, {55, 0}},
        {{Qt::Key_Control, Qt::NoModifier}, {17, 2}}, // Ctrl counts in its own key-down
    };
    for (const auto& [press, expected] : keys) {
        QKeyEvent event(QEvent::KeyPress, press.first, press.second);
        QApplication::sendEvent(&box, &event);
        QCOMPARE(down.takeFirst(), QVariantList({expected.first, expected.second}));
    }
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_Control, Qt::ControlModifier);
    QApplication::sendEvent(&box, &release);
    QCOMPARE(up.takeLast(), QVariantList({17, 0})); // and no longer in its key-up
}

void tst_PictureBox::typedCharacters() {
    PictureBox box;
    QList<int> typed;
    connect(&box, &PictureBox::KeyPress, &box, [&](int& keyAscii) { typed << keyAscii; });
    auto type = [&](Qt::Key key, const QString& text) {
        QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier, text);
        QApplication::sendEvent(&box, &event);
    };
    type(Qt::Key_A, QStringLiteral("a"));
    type(Qt::Key_Return, QStringLiteral("\r"));
    type(Qt::Key_Backspace, QStringLiteral("\b"));
    type(Qt::Key_unknown, QStringLiteral("\u00E9")); // é
    type(Qt::Key_unknown, QStringLiteral("\u20AC")); // €, 80h
    type(Qt::Key_unknown, QStringLiteral("\u03A9")); // Ω: not in the code page
    type(Qt::Key_Delete, QStringLiteral("\u007F"));  // types nothing
    type(Qt::Key_Tab, QStringLiteral("\t"));         // moves the focus, types nothing
    type(Qt::Key_Left, QString());
    QCOMPARE(typed, QList<int>({0x61, 13, 8, 0xE9, 0x80, 0}));
}

void tst_PictureBox::clicksAndFocus() {
    QWidget window;
    window.resize(200, 200);
    auto* box = new PictureBox(&window);
    box->setGeometry(0, 0, 100, 100);
    auto* other = new QLineEdit(&window);
    other->setGeometry(0, 150, 100, 30);
    other->setFocus();
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    QSignalSpy got(box, &PictureBox::GotFocus);
    QSignalSpy lost(box, &PictureBox::LostFocus);
    QSignalSpy mouse(box, &PictureBox::MouseDown);
    QSignalSpy click(box, &PictureBox::Click);

    QTest::mouseClick(box, Qt::RightButton, Qt::ShiftModifier, QPoint(30, 40));
    QVERIFY(box->hasFocus());
    QCOMPARE(got.count(), 1);
    QCOMPARE(mouse.takeFirst(), QVariantList({2, 1, 30, 40}));
    QCOMPARE(click.count(), 1);
    QVERIFY(box->Focused());

    // A second window in front does not take the focus away as the program counts it.
    QWidget front;
    front.show();
    front.activateWindow();
    if (QTest::qWaitForWindowActive(&front)) {
        QCOMPARE(lost.count(), 0);
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QCOMPARE(got.count(), 1);
    }
    other->setFocus();
    QCOMPARE(lost.count(), 1);
    QVERIFY(!box->Focused());
}

void tst_PictureBox::codePage() {
    for (int code = 1; code < 256; ++code) {
        const bool undefined =
            code == 0x81 || code == 0x8D || code == 0x8F || code == 0x90 || code == 0x9D;
        QCOMPARE(platform::ToWindows1252(platform::FromWindows1252(code)), undefined ? 0 : code);
    }
    QCOMPARE(platform::FromWindows1252(0x99), QChar(0x2122)); // ™
}

QTEST_MAIN(tst_PictureBox)
#include "tst_PictureBox.moc"
