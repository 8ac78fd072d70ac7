// Editing and selection through the window: keys and clicks on the two panes, undo, redo.
#include "EditorFixture.h"
#include "editor/ClickLabel.h"
#include "platform/MessageBoxes.h"

#include <QLabel>

class EditingTest : public QObject {
    Q_OBJECT

    std::unique_ptr<EditorFixture> f_;
    frmEditor* e_ = nullptr;

    void Click(PictureBox* pane, int row, int col) {
        const Grid* grid = pane == Part<PictureBox>(e_, "PicHex") ? Part<Grid>(e_, "grid1")
                                                                  : Part<Grid>(e_, "grid2");
        QTest::mouseClick(pane, Qt::LeftButton, {},
                          QPoint(col * grid->CellWidth() + 3, row * grid->CellHeight() + 3));
    }

private slots:
    void init() {
        f_ = std::make_unique<EditorFixture>();
        QByteArray data = Counting(1000);
        data[0] = '\x3C';
        QVERIFY(f_->OpenAndShow(data));
        e_ = f_->editor;
    }
    void cleanup() { f_.reset(); }

    void keys_data() {
        QTest::addColumn<QString>("keys");
        QTest::addColumn<QString>("bytes"); // the image's bytes at positions 1 and 2
        QTest::addColumn<QString>("cells"); // the hex and text cells of position 1
        // clang-format off
        QTest::newRow("two digits") << "ab" << "AB 01" << "AB \u00ab";
        QTest::newRow("the next digit starts again") << "ab4" << "AB 01" << "4 .";
        QTest::newRow("Enter completes") << "7<Return>" << "07 01" << "07 .";
        QTest::newRow("moving on completes") << "7<Right>" << "07 01" << "07 .";
        QTest::newRow("a page move completes where typed") << "d<PgDown>" << "0D 01" << "";
        QTest::newRow("the other pane completes") << "e<Tab>" << "0E 01" << "0E .";
        QTest::newRow("not hex") << "G-z <Backspace><Return>" << "3C 01" << "3C <";
        QTest::newRow("Ctrl") << "^b" << "3C 01" << "3C <";
        QTest::newRow("Ctrl+Shift") << "^+a<Return>" << "0A 01" << "0A .";
        QTest::newRow("a character without key code after Ctrl+key") << "<Tab>^<End>^<Home>!" << "21 01" << "21 !";
        QTest::newRow("text: Enter") << "<Tab><Return>" << "0D 01" << "0D .";
        QTest::newRow("text: code page") << "<Tab>\u20ac<Right>\u0416" << "80 01" << "80 \u20ac";
        QTest::newRow("text: Backspace") << "<Tab><Right><Backspace>" << "3C 08" << "3C <";
        QTest::newRow("text: Ctrl") << "<Tab>^x" << "3C 01" << "3C <";
        QTest::newRow("text: Ctrl+Shift") << "<Tab>^+x" << "78 01" << "78 x";
        QTest::newRow("text: Tab types nothing") << "<Tab><Tab>" << "3C 01" << "3C <";
        // clang-format on
    }

    void keys() {
        QFETCH(QString, keys);
        QFETCH(QString, bytes);
        QFETCH(QString, cells);
        Press(keys);
        QCOMPARE(f_->Image(1, 2).toHex(' ').toUpper(), bytes.toLatin1());
        QCOMPARE(e_->Document().Modified(), bytes != QLatin1String("3C 01"));
        QVERIFY(cells.isEmpty() ||
                Part<Grid>(e_, "grid1")->Value(0, 0) + ' ' + Part<Grid>(e_, "grid2")->Value(0, 0) ==
                    cells);
        // The cursor never moves by itself.
        QCOMPARE(QApplication::focusWidget() == Part<PictureBox>(e_, "PicText")
                     ? Part<Grid>(e_, "grid2")->Col()
                     : Part<Grid>(e_, "grid1")->Col(),
                 keys.contains(QLatin1String("<Right>")) ? 1 : 0);
    }

    void panesKeepTheSameCell() {
        // The other cursor follows, by keys and clicks, in either pane.
        const auto cell = [](const Grid* grid) { return QPoint(grid->Row(), grid->Col()); };
        Press(QStringLiteral("<Down><Down><Right>"));
        QCOMPARE(cell(Part<Grid>(e_, "grid2")), QPoint(2, 1));
        Press(QStringLiteral("<Tab><Down><Left><Left>"));
        QCOMPARE(cell(Part<Grid>(e_, "grid1")), QPoint(2, 15));
        Click(Part<PictureBox>(e_, "PicText"), 3, 5);
        QCOMPARE(Part<QLabel>(e_, "lblInfo_0")->text() + ' ' +
                     Part<QLabel>(e_, "lblInfo_3")->text(),
                 QStringLiteral("35 53"));
        QCOMPARE(cell(Part<Grid>(e_, "grid1")), QPoint(3, 5));
        e_->Session().ShowPage(321);
        e_->Refresh();
        Click(Part<PictureBox>(e_, "PicHex"), 0, 0);
        QCOMPARE(Part<QLabel>(e_, "lblInfo_2")->text() + ' ' +
                     Part<QLabel>(e_, "lblInfo_3")->text(),
                 QStringLiteral("140 320"));
        QTest::mouseClick(Part<QLabel>(e_, "lblInfo_4"),
                          Qt::LeftButton); // any label of the panel switches
        QTRY_VERIFY(Part<PictureBox>(e_, "PicText")->hasFocus());
        QVERIFY(!e_->Document().Modified());
    }

    void undoAndRedo() {
        // Keys, then the page, the bytes at 1 and 322, and "*" while there is something to save.
        const auto key = [this](const char* keys) {
            Press(QString::fromLatin1(keys));
            const QByteArray bytes = (f_->Image(1, 1) + f_->Image(322, 1)).toHex().toUpper();
            return QStringLiteral("%1 %2%3")
                .arg(e_->Session().View().pageStart)
                .arg(bytes)
                .arg(e_->Document().Modified() ? "*" : "");
        };
        QCOMPARE(key("AB<PgDown><Right><Tab>Z"), "321 AB5A*"); // two steps
        QCOMPARE(key("^z"), "321 AB41*");
        QCOMPARE(key("^z"), "1 3C41"); // the file as opened; the cursor on the byte taken back
        QCOMPARE(Part<QLabel>(e_, "lblInfo_3")->text() + Part<Grid>(e_, "grid2")->Value(0, 0),
                 QStringLiteral("0<"));
        QCOMPARE(key("^z"), "1 3C41");
        QCOMPARE(key("^y"), "1 AB41*");
        QCOMPARE(key("^+z"), "321 AB5A*");
        QCOMPARE(Part<QLabel>(e_, "lblInfo_3")->text(), QStringLiteral("321"));
        // Modified only away from the saved step; a new edit after Undo drops the redo steps.
        QCOMPARE(key("^s"), "321 AB5A");
        QCOMPARE(ReadFile(f_->path).mid(320, 2), QByteArray("\x40\x5A"));
        QCOMPARE(key("^z"), "321 AB41*");
        QCOMPARE(key("^y"), "321 AB5A");
        QCOMPARE(key("^zQ"), "321 AB51*");
        QCOMPARE(key("^y"), "321 AB51*");
        QCOMPARE(key("^z"), "321 AB41*"); // "Z" was saved, the image holds 41h
        // A half-typed digit was never written: Undo just shows the byte again.
        QCOMPARE(key("<Tab>4^z"), "321 AB41*");
        QCOMPARE(Part<Grid>(e_, "grid1")->Value(0, 1), QStringLiteral("41"));
    }

    void failedEditShowsTheImage() {
        Press(QStringLiteral("<PgDown>"));
        {
            FileSizeLimit full(100); // the image cannot take a byte from offset 100 on
            Press(QStringLiteral("99<Right>7<Return>"));
            QCOMPARE(f_->ts.messages.shown.size(), 2);
            QVERIFY(f_->ts.messages.shown[0].prompt.startsWith(QStringLiteral("75\n")));
            QCOMPARE(Part<Grid>(e_, "grid1")->Value(0, 0) + Part<Grid>(e_, "grid2")->Value(0, 1) +
                         Part<QLabel>(e_, "lblInfo_0")->text(),
                     "40A41"); // what the image holds
            QVERIFY(!e_->Document().Modified() && !Part<QAction>(e_, "mnuUndo")->isEnabled());
            Press(QStringLiteral("<PgUp>55"));
            QVERIFY(e_->Document().Modified());
        }
        QByteArray expected = ReadFile(f_->path);
        f_->ts.messages.answers = {platform::MsgAnswer::Yes};
        Part<QAction>(e_, "mnuDone")->trigger();
        expected[1] = '\x55';
        QCOMPARE(ReadFile(f_->path), expected);
    }
};

QTEST_MAIN(EditingTest)
#include "tst_editing.moc"
