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

// Presses keys in the pane that has the focus: characters as typed, <Name> for a named
// key, ^ before either for Ctrl, ^+ for Ctrl+Shift.
void Press(const QString& keys) {
    static const QHash<QString, Qt::Key> named = {
        {"Enter", Qt::Key_Return}, {"Right", Qt::Key_Right},         {"PgDn", Qt::Key_PageDown},
        {"Tab", Qt::Key_Tab},      {"Backspace", Qt::Key_Backspace}, {"End", Qt::Key_End}};
    for (qsizetype i = 0; i < keys.size(); ++i) {
        Qt::KeyboardModifiers modifiers = Qt::NoModifier;
        if (keys[i] == QLatin1Char('^')) {
            modifiers = Qt::ControlModifier;
            if (keys[++i] == QLatin1Char('+')) {
                modifiers |= Qt::ShiftModifier;
                ++i;
            }
        }
        QWidget* pane = QApplication::focusWidget();
        if (keys[i] == QLatin1Char('<')) {
            const qsizetype end = keys.indexOf(QLatin1Char('>'), i);
            QTest::keyClick(pane, named.value(keys.mid(i + 1, end - i - 1)), modifiers);
            i = end;
        } else if (modifiers & Qt::ControlModifier) {
            QTest::keyClick(pane, Qt::Key(Qt::Key_A + keys[i].toUpper().unicode() - 'A'),
                            modifiers);
        } else {
            Type(pane, QString(keys[i]));
        }
    }
}

} // namespace

class EditingTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { TestTempFolder(); }
    void init();
    void cleanup();

    void keys_data();
    void keys();
    void characterWithoutKeyCode();
    void tabBothWays();
    void panelAndMarkers();
    void modeLabels();
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

void EditingTest::keys_data() {
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QString>("bytes"); // the image's bytes at positions 1 and 2
    QTest::addColumn<QString>("cells"); // the hex and text cells of position 1
    const auto row = [](const char* name, const char* keys, const char* bytes, const char* cells) {
        QTest::newRow(name) << QString::fromUtf8(keys) << QString(bytes)
                            << QString::fromUtf8(cells);
    };
    row("two digits", "ab", "AB 01", "AB \u00ab");
    row("a first digit shows alone", "a", "3C 01", "A .");
    row("the next digit starts again", "ab4", "AB 01", "4 .");
    row("Enter completes", "7<Enter>", "07 01", "07 .");
    row("moving on completes", "7<Right>", "07 01", "07 .");
    row("a page move completes where typed", "d<PgDn>", "0D 01", "");
    row("the other pane completes", "e<Tab>", "0E 01", "0E .");
    row("not hex", "G-z <Backspace><Enter>", "3C 01", "3C <");
    row("Ctrl", "^a", "3C 01", "3C <");
    row("Ctrl+Shift", "^+a<Enter>", "0A 01", "0A .");
    row("text: Enter", "<Tab><Enter>", "0D 01", "0D .");
    row("text: code page", "<Tab>\u20ac<Right>\u0416", "80 01", "80 \u20ac");
    row("text: Backspace", "<Tab><Right><Backspace>", "3C 08", "3C <");
    row("text: Ctrl", "<Tab>^x", "3C 01", "3C <");
    row("text: Ctrl+Shift", "<Tab>^+x", "78 01", "78 x");
    row("text: Tab types nothing", "<Tab><Tab>", "3C 01", "3C <");
}

void EditingTest::keys() {
    QFETCH(QString, keys);
    QFETCH(QString, bytes);
    QFETCH(QString, cells);
    Press(keys);
    QCOMPARE(f_->Image(1, 2).toHex(' ').toUpper(), bytes.toLatin1());
    QCOMPARE(e_->Modified(), bytes != QLatin1String("3C 01"));
    if (!cells.isEmpty()) {
        QCOMPARE(e_->grid1->Value(0, 0) + QLatin1Char(' ') + e_->grid2->Value(0, 0), cells);
    }
    // The cursor never moves by itself.
    QCOMPARE(QApplication::focusWidget() == e_->PicText ? e_->grid2->Col() : e_->grid1->Col(),
             keys.contains(QLatin1String("<Right>")) ? 1 : 0);
}

void EditingTest::characterWithoutKeyCode() {
    // "!" brings no key-down of its own: the Ctrl of the Ctrl+End before it must not count.
    Press(QStringLiteral("<Tab>^<End>!"));
    QCOMPARE(f_->Image(1000, 1), QByteArray("!"));
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
