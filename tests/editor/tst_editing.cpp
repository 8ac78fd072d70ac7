// Editing, selection and the panel through the window: keys and clicks on the two panes,
// bytes checked in the working image and, after Done, in the user's file.
#include "EditorFixture.h"
#include "editor/ClickLabel.h"
#include "platform/MessageBoxes.h"

#include <QLabel>

namespace {

// Types text into a pane as the keyboard would (one key event per character).
void Type(QWidget* pane, const QString& text, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    for (const QChar ch : text) {
        QTest::sendKeyEvent(QTest::Click, pane, Qt::Key_unknown, QString(ch), modifiers);
    }
}

} // namespace

class EditingTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { TestTempFolder(); }
    void init();
    void cleanup();

    void twoHexDigits();
    void loneDigitCompletedWhereverTheCursorGoes();
    void keysTheHexPaneIgnores();
    void ctrlBlocksTyping();
    void textPaneWritesItsBytes();
    void tabBothWays();
    void panelAndMarkers();
    void radixToggle();
    void modeLabels();
    void wholeSession();
    void undoAndRedo();
    void failedEditShowsTheImage();

private:
    std::unique_ptr<EditorFixture> f_;
    QString path_;
    frmEditor* e_ = nullptr;
};

void EditingTest::init() {
    f_ = std::make_unique<EditorFixture>();
    QByteArray data = Counting(1000);
    data[0] = '\x3C';
    path_ = f_->WriteFile(QStringLiteral("edit.bin"), data);
    f_->Open(path_);
    e_ = f_->editor;
    QVERIFY(f_->Show());
    QTRY_VERIFY(e_->PicHex->hasFocus());
    QCOMPARE(e_->ActivePane, 1);
}

void EditingTest::cleanup() {
    f_.reset();
}

void EditingTest::twoHexDigits() {
    Type(e_->PicHex, QStringLiteral("a"));
    QCOMPARE(e_->grid1->Value(0, 0), QStringLiteral("A"));
    QCOMPARE(e_->grid2->Value(0, 0), QStringLiteral(".")); // 0Ah
    QCOMPARE(f_->Image(1, 1), QByteArray("\x3C"));         // nothing written yet
    QVERIFY(!e_->Modified());
    Type(e_->PicHex, QStringLiteral("b"));
    QCOMPARE(e_->grid1->Value(0, 0), QStringLiteral("AB"));
    QCOMPARE(e_->grid2->Value(0, 0), QStringLiteral("\u00ab"));
    QCOMPARE(f_->Image(1, 2), QByteArray("\xAB\x01")); // that byte and no other
    QVERIFY(e_->Modified());
    QCOMPARE(e_->lblInfo[0]->text(), QStringLiteral("AB"));
    QCOMPARE(e_->lblInfo[1]->text(), QStringLiteral("171"));
    // The cursor stays; the next digit starts the byte again.
    QCOMPARE(e_->grid1->Col(), 0);
    Type(e_->PicHex, QStringLiteral("4"));
    QCOMPARE(e_->grid1->Value(0, 0), QStringLiteral("4"));
    QCOMPARE(e_->grid2->Value(0, 0), QStringLiteral("."));
    Type(e_->PicHex, QStringLiteral("1"));
    QCOMPARE(f_->Image(1, 1), QByteArray("A"));
}

void EditingTest::loneDigitCompletedWhereverTheCursorGoes() {
    // Enter.
    Type(e_->PicHex, QStringLiteral("7"));
    QTest::keyClick(e_->PicHex, Qt::Key_Return);
    QCOMPARE(e_->grid1->Value(0, 0), QStringLiteral("07"));
    QCOMPARE(f_->Image(1, 1), QByteArray("\x07"));
    // A cursor key.
    QTest::keyClick(e_->PicHex, Qt::Key_Right);
    Type(e_->PicHex, QStringLiteral("7"));
    QTest::keyClick(e_->PicHex, Qt::Key_Right);
    QCOMPARE(e_->grid1->Value(0, 1), QStringLiteral("07"));
    QCOMPARE(f_->Image(2, 1), QByteArray("\x07"));
    // A click on another cell.
    Type(e_->PicHex, QStringLiteral("c"));
    f_->ClickCell(e_->PicHex, e_->grid1, 4, 4);
    QCOMPARE(f_->Image(3, 1), QByteArray("\x0C"));
    QCOMPARE(e_->grid1->Row(), 4);
    // A page move: the byte lands where it was typed, not on the new page.
    Type(e_->PicHex, QStringLiteral("d"));
    QTest::keyClick(e_->PicHex, Qt::Key_PageDown);
    QCOMPARE(e_->PageStart, qint64(321));
    QCOMPARE(f_->Image(1 + 4 * 16 + 4, 1), QByteArray("\x0D"));
    QCOMPARE(f_->Image(321 + 4 * 16 + 4, 1), QByteArray(1, char((320 + 68) & 0xFF)));
    // The panes' switch.
    Type(e_->PicHex, QStringLiteral("e"));
    QTest::keyClick(e_->PicHex, Qt::Key_Tab);
    QTRY_VERIFY(e_->PicText->hasFocus());
    QCOMPARE(f_->Image(321 + 68, 1), QByteArray("\x0E"));
    QCOMPARE(e_->grid1->Value(4, 4), QStringLiteral("0E"));
}

void EditingTest::keysTheHexPaneIgnores() {
    Type(e_->PicHex, QStringLiteral("G-z "));
    QTest::keyClick(e_->PicHex, Qt::Key_Backspace);
    QTest::keyClick(e_->PicHex, Qt::Key_Return); // on a complete cell: nothing
    QCOMPARE(e_->grid1->Value(0, 0), QStringLiteral("3C"));
    QCOMPARE(f_->Image(1, 1), QByteArray("\x3C"));
    QVERIFY(!e_->Modified());
}

void EditingTest::ctrlBlocksTyping() {
    QTest::keyClick(e_->PicHex, Qt::Key_A, Qt::ControlModifier);
    QCOMPARE(e_->grid1->Value(0, 0), QStringLiteral("3C"));
    QTest::keyClick(e_->PicHex, Qt::Key_A, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(e_->grid1->Value(0, 0), QStringLiteral("A"));
    QTest::keyClick(e_->PicHex, Qt::Key_Tab);
    QTRY_VERIFY(e_->PicText->hasFocus());
    QCOMPARE(f_->Image(1, 1), QByteArray("\x0A"));
    Type(e_->PicText, QStringLiteral("x"), Qt::ControlModifier);
    QCOMPARE(f_->Image(1, 1), QByteArray("\x0A"));
    Type(e_->PicText, QStringLiteral("X"), Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(f_->Image(1, 1), QByteArray("X"));
}

void EditingTest::textPaneWritesItsBytes() {
    QTest::keyClick(e_->PicHex, Qt::Key_Tab);
    QTRY_VERIFY(e_->PicText->hasFocus());
    QCOMPARE(e_->ActivePane, 2);
    QTest::keyClick(e_->PicText, Qt::Key_Return);
    QCOMPARE(e_->grid1->Value(0, 0), QStringLiteral("0D"));
    QCOMPARE(e_->grid2->Value(0, 0), QStringLiteral("."));
    QCOMPARE(f_->Image(1, 2), QByteArray("\x0D\x01"));
    QVERIFY(e_->Modified());
    QCOMPARE(e_->grid2->Col(), 0); // the cursor does not move
    QTest::keyClick(e_->PicText, Qt::Key_Right);
    Type(e_->PicText, QStringLiteral("\u20ac")); // the code page's 80h
    QCOMPARE(f_->Image(2, 1), QByteArray("\x80"));
    QCOMPARE(e_->grid1->Value(0, 1), QStringLiteral("80"));
    Type(e_->PicText, QStringLiteral("\u0416")); // not in the code page: ignored
    QCOMPARE(f_->Image(2, 1), QByteArray("\x80"));
    QTest::keyClick(e_->PicText, Qt::Key_Backspace);
    QCOMPARE(f_->Image(2, 1), QByteArray("\x08"));
}

void EditingTest::tabBothWays() {
    QTest::keyClick(e_->PicHex, Qt::Key_Down);
    QTest::keyClick(e_->PicHex, Qt::Key_Down);
    QTest::keyClick(e_->PicHex, Qt::Key_Right);
    QCOMPARE(e_->grid2->Row(), 2); // the other cursor follows
    QCOMPARE(e_->grid2->Col(), 1);
    QTest::keyClick(e_->PicHex, Qt::Key_Tab);
    QTRY_VERIFY(e_->PicText->hasFocus());
    QCOMPARE(e_->ActivePane, 2);
    QTest::keyClick(e_->PicText, Qt::Key_Down);
    QTest::keyClick(e_->PicText, Qt::Key_Left);
    QTest::keyClick(e_->PicText, Qt::Key_Left);
    QCOMPARE(e_->grid1->Row(), 2);
    QCOMPARE(e_->grid1->Col(), 15);
    QCOMPARE(f_->Image(1, 1), QByteArray("\x3C")); // Tab writes nothing in the text pane
    QTest::keyClick(e_->PicText, Qt::Key_Tab);
    QTRY_VERIFY(e_->PicHex->hasFocus());
    QCOMPARE(e_->ActivePane, 1);
    QCOMPARE(e_->grid1->Row(), 2);
    QCOMPARE(e_->grid1->Col(), 15);
    QVERIFY(!e_->Modified());
}

void EditingTest::panelAndMarkers() {
    QTest::keyClick(e_->PicHex, Qt::Key_Tab);
    QTRY_VERIFY(e_->PicText->hasFocus());
    f_->ClickCell(e_->PicText, e_->grid2, 3, 5);
    QCOMPARE(e_->lblInfo[2]->text(), QStringLiteral("35"));
    QCOMPARE(e_->lblInfo[3]->text(), QStringLiteral("53"));
    QCOMPARE(e_->lblInfo[0]->text(), QStringLiteral("35"));
    QCOMPARE(e_->lblInfo[1]->text(), QStringLiteral("53"));
    QCOMPARE(e_->grid1->Row(), 3);
    QCOMPARE(e_->grid1->Col(), 5);
    QCOMPARE(e_->Sign[0]->x(), e_->Label2[5]->x() + 6);
    QCOMPARE(e_->Sign[1]->y(), e_->PicText->y() + 2 + 19 * 3);

    e_->MoveNextPage(); // the page at 321, cell (0, 0)
    f_->ClickCell(e_->PicText, e_->grid2, 0, 0);
    QCOMPARE(e_->lblInfo[2]->text(), QStringLiteral("140"));
    QCOMPARE(e_->lblInfo[3]->text(), QStringLiteral("320"));
    QCOMPARE(e_->Sign[1]->y(), e_->PicText->y() + 2);

    // Up from row 0 of the first page does nothing.
    e_->MoveFirst();
    QTest::keyClick(e_->PicText, Qt::Key_Up);
    QCOMPARE(e_->PageStart, qint64(1));
    QCOMPARE(e_->grid2->Row(), 0);
}

void EditingTest::radixToggle() {
    const auto headers = [this] {
        QStringList texts;
        for (int i = 0; i < 16; ++i) {
            texts << e_->Label2[i]->text();
        }
        return texts.join(QLatin1Char(' '));
    };
    const QString decimal = headers();
    QCOMPARE(decimal, QStringLiteral("00 01 02 03 04 05 06 07 08 09 10 11 12 13 14 15"));
    QTest::mouseClick(e_->lblSelect, Qt::LeftButton);
    QCOMPARE(e_->lblSelect->text(), QStringLiteral("OFFSET HEX"));
    QCOMPARE(headers(), QStringLiteral("00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F"));
    const QString selected = e_->lblInfo[3]->text();
    QTest::mouseClick(e_->lblSelect, Qt::LeftButton);
    QCOMPARE(e_->lblSelect->text(), QStringLiteral("OFFSET DEC"));
    QVERIFY(!e_->OffsetHex);
    QCOMPARE(headers(), decimal);
    QCOMPARE(e_->lblInfo[3]->text(), selected);
}

void EditingTest::modeLabels() {
    const QColor text = e_->palette().color(QPalette::Text);
    const QColor background = e_->palette().color(QPalette::Base);
    const auto fore = [](QLabel* l) { return l->palette().color(QPalette::WindowText); };
    QCOMPARE(fore(e_->lblInfo[6]), background); // hex pane active
    QCOMPARE(fore(e_->lblInfo[7]), text);
    QTest::mouseClick(e_->lblInfo[4], Qt::LeftButton); // any panel label switches panes
    QTRY_VERIFY(e_->PicText->hasFocus());
    QCOMPARE(e_->ActivePane, 2);
    QCOMPARE(fore(e_->lblInfo[6]), text);
    QCOMPARE(fore(e_->lblInfo[7]), background);
    QTest::mouseClick(e_->lblInfo[6], Qt::LeftButton);
    QTRY_VERIFY(e_->PicHex->hasFocus());
    QCOMPARE(e_->ActivePane, 1);
}

void EditingTest::wholeSession() {
    const QByteArray original = f_->ReadFile(path_);
    QTest::keyClick(e_->PicHex, Qt::Key_PageDown);
    QTest::keyClick(e_->PicHex, Qt::Key_PageDown);
    QCOMPARE(e_->PageStart, qint64(641));
    QTest::keyClick(e_->PicHex, Qt::Key_Right);
    Type(e_->PicHex, QStringLiteral("F0")); // offset 641
    QTest::keyClick(e_->PicHex, Qt::Key_Tab);
    QTRY_VERIFY(e_->PicText->hasFocus());
    QTest::keyClick(e_->PicText, Qt::Key_Down);
    Type(e_->PicText, QStringLiteral("Z")); // offset 657
    QTest::keyClick(e_->PicText, Qt::Key_End, Qt::ControlModifier);
    Type(e_->PicText, QStringLiteral("!")); // the last byte, offset 999; no key code, so
                                            // only the key's own modifiers count
    QTest::keyClick(e_->PicText, Qt::Key_Home, Qt::ControlModifier);
    QTest::keyClick(e_->PicText, Qt::Key_Tab);
    QTRY_VERIFY(e_->PicHex->hasFocus());
    Type(e_->PicHex, QStringLiteral("5")); // completed by Done: offset 0 = 05h

    f_->ts.messages.answers = {platform::MsgAnswer::Yes};
    e_->mnuDone->trigger();
    QCOMPARE(f_->ts.messages.shown.size(), 1);
    QByteArray expected = original;
    expected[0] = '\x05';
    expected[641] = '\xF0';
    expected[657] = 'Z';
    expected[999] = '!';
    QCOMPARE(f_->ReadFile(path_), expected);
    QVERIFY(!QFile::exists(Module1::WorkImagePath()));
    QCOMPARE(f_->mainShown, 1);
}

void EditingTest::undoAndRedo() {
    const auto key = [this](QWidget* pane, Qt::Key k, Qt::KeyboardModifiers m) {
        QTest::keyClick(pane, k, m);
        return std::make_pair(e_->PageStart, f_->Image(1, 1) + f_->Image(322, 1));
    };
    using State = std::pair<qint64, QByteArray>;
    const Qt::KeyboardModifiers ctrl = Qt::ControlModifier;
    Type(e_->PicHex, QStringLiteral("AB")); // one step, not two
    QTest::keyClick(e_->PicHex, Qt::Key_PageDown);
    QTest::keyClick(e_->PicHex, Qt::Key_Right);
    QTest::keyClick(e_->PicHex, Qt::Key_Tab);
    QTRY_VERIFY(e_->PicText->hasFocus());
    Type(e_->PicText, QStringLiteral("Z")); // offset 321 of the next page
    QCOMPARE(key(e_->PicText, Qt::Key_Z, ctrl), State(321, QByteArray("\xAB\x41")));
    QCOMPARE(key(e_->PicText, Qt::Key_Z, ctrl), State(1, QByteArray("\x3C\x41")));
    // Back at the file as opened: nothing to save; the cursor on the byte taken back.
    QVERIFY(!e_->Modified());
    QCOMPARE(e_->lblInfo[3]->text(), QStringLiteral("0"));
    QCOMPARE(e_->grid2->Value(0, 0), QStringLiteral("<"));
    QCOMPARE(key(e_->PicText, Qt::Key_Z, ctrl), State(1, QByteArray("\x3C\x41")));
    QCOMPARE(key(e_->PicText, Qt::Key_Y, ctrl), State(1, QByteArray("\xAB\x41")));
    QCOMPARE(key(e_->PicText, Qt::Key_Z, ctrl | Qt::ShiftModifier), State(321, QByteArray("\xAB"
                                                                                          "Z")));
    QCOMPARE(e_->lblInfo[3]->text(), QStringLiteral("321"));

    // Saved, then taken back and done again: modified only away from the saved step.
    e_->mnuSave->trigger();
    key(e_->PicText, Qt::Key_Z, ctrl);
    QVERIFY(e_->Modified());
    key(e_->PicText, Qt::Key_Y, ctrl);
    QVERIFY(!e_->Modified());
    // A new edit after Undo drops what could be done again, the saved step with it.
    key(e_->PicText, Qt::Key_Z, ctrl);
    Type(e_->PicText, QStringLiteral("Q"));
    QVERIFY(e_->Modified());
    QVERIFY(!e_->mnuRedo->isEnabled());
    QCOMPARE(key(e_->PicText, Qt::Key_Y, ctrl), State(321, QByteArray("\xAB"
                                                                      "Q")));
    key(e_->PicText, Qt::Key_Z, ctrl);
    QVERIFY(e_->Modified()); // "Z" was saved, the image holds 41h

    // A half-typed digit was never written: Undo just shows the byte again.
    QTest::keyClick(e_->PicText, Qt::Key_Tab);
    QTRY_VERIFY(e_->PicHex->hasFocus());
    Type(e_->PicHex, QStringLiteral("4"));
    QCOMPARE(key(e_->PicHex, Qt::Key_Z, ctrl), State(321, QByteArray("\xAB\x41")));
    QCOMPARE(e_->grid1->Value(0, 1), QStringLiteral("41"));
}

void EditingTest::failedEditShowsTheImage() {
    QTest::keyClick(e_->PicHex, Qt::Key_PageDown);
    {
        FileSizeLimit full(100); // the image cannot take a byte from offset 100 on
        Type(e_->PicHex, QStringLiteral("99"));
        QTest::keyClick(e_->PicHex, Qt::Key_Right);
        Type(e_->PicHex, QStringLiteral("7"));
        QTest::keyClick(e_->PicHex, Qt::Key_Return);
        QCOMPARE(f_->ts.messages.shown.size(), 2);
        QVERIFY(f_->ts.messages.shown[0].prompt.startsWith(QStringLiteral("75\n")));
        QCOMPARE(e_->grid1->Value(0, 0), QStringLiteral("40")); // what the image holds
        QCOMPARE(e_->grid2->Value(0, 1), QStringLiteral("A"));
        QCOMPARE(e_->lblInfo[0]->text(), QStringLiteral("41"));
        QVERIFY(!e_->Modified());
        QVERIFY(!e_->mnuUndo->isEnabled());
        QTest::keyClick(e_->PicHex, Qt::Key_PageUp);
        Type(e_->PicHex, QStringLiteral("55"));
        QVERIFY(e_->Modified());
    }
    QByteArray expected = f_->ReadFile(path_);
    f_->ts.messages.answers = {platform::MsgAnswer::Yes};
    e_->mnuDone->trigger();
    expected[1] = '\x55';
    QCOMPARE(f_->ReadFile(path_), expected);
}

QTEST_MAIN(EditingTest)
#include "tst_editing.moc"
