// Editing and selection through the window: keys and clicks on the two panes, undo, redo.
#include "EditorFixture.h"

class EditingTest : public QObject {
    Q_OBJECT

    std::unique_ptr<EditorFixture> f_;
    frmEditor* e_ = nullptr;

    void Click(const char* pane, int row, int col) {
        QTest::mouseClick(f_->Pane(pane), Qt::LeftButton, {}, f_->InCell(pane, row, col, {3, 3}));
    }

private slots:
    void init() {
        f_ = std::make_unique<EditorFixture>();
        QVERIFY(f_->OpenAndShow(Counting(1000).replace(0, 1, "\x3C")));
        e_ = f_->editor;
    }
    void cleanup() { f_.reset(); }

    void keys_data() {
        // bytes: the image's bytes at positions 1 and 2; cells: the hex and text cells of position
        // 1
        Columns<QString, QString, QString>({"keys", "bytes", "cells"});
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
        const auto [keys, bytes, cells] =
            Row<QString, QString, QString>({"keys", "bytes", "cells"});
        Press(keys);
        QCOMPARE(f_->Image(1, 2).toHex(' ').toUpper(), bytes.toLatin1());
        QCOMPARE(e_->Document().Modified(), bytes != QLatin1String("3C 01"));
        QVERIFY(cells.isEmpty() || f_->Hex(0, 0) + ' ' + f_->Text(0, 0) == cells);
        // The cursor never moves by itself.
        QCOMPARE(
            f_->GridOf(QApplication::focusWidget() == f_->Pane("PicText") ? "PicText" : "PicHex")
                ->Col(),
            keys.contains(QLatin1String("<Right>")) ? 1 : 0);
    }

    void panesKeepTheSameCell() {
        // The other cursor follows, by keys and clicks, in either pane.
        const auto cell = [this](const char* pane) {
            return QPoint(f_->GridOf(pane)->Row(), f_->GridOf(pane)->Col());
        };
        Press(QStringLiteral("<Down><Down><Right>"));
        QCOMPARE(cell("PicText"), QPoint(2, 1));
        Press(QStringLiteral("<Tab><Down><Left><Left>"));
        QCOMPARE(cell("PicHex"), QPoint(2, 15));
        Click("PicText", 3, 5);
        QCOMPARE(f_->Label("lblInfo_0") + ' ' + f_->Label("lblInfo_3"), QStringLiteral("35 53"));
        QCOMPARE(cell("PicHex"), QPoint(3, 5));
        e_->Session().ShowPage(321);
        e_->Refresh();
        Click("PicHex", 0, 0);
        QCOMPARE(f_->Label("lblInfo_2") + ' ' + f_->Label("lblInfo_3"), QStringLiteral("140 320"));
        QTest::mouseClick(Part<QLabel>(e_, "lblInfo_4"),
                          Qt::LeftButton); // any label of the panel switches
        QTRY_VERIFY(f_->Pane("PicText")->hasFocus());
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
        QCOMPARE(f_->Label("lblInfo_3") + f_->Text(0, 0), QStringLiteral("0<"));
        QCOMPARE(key("^z"), "1 3C41");
        QCOMPARE(key("^y"), "1 AB41*");
        QCOMPARE(key("^+z"), "321 AB5A*");
        QCOMPARE(f_->Label("lblInfo_3"), QStringLiteral("321"));
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
        QCOMPARE(f_->Hex(0, 1), QStringLiteral("41"));
    }

    void failedEditShowsTheImage() {
        Press(QStringLiteral("<PgDown>"));
        {
            FileSizeLimit full(100); // the image cannot take a byte from offset 100 on
            Press(QStringLiteral("99<Right>7<Return>"));
            QVERIFY(f_->Boxes() == 2 && f_->Told(0).startsWith(QStringLiteral("75\n")));
            QCOMPARE(f_->Hex(0, 0) + f_->Text(0, 1) + f_->Label("lblInfo_0"),
                     "40A41"); // what the image holds
            QVERIFY(!e_->Document().Modified() && !f_->Enabled("mnuUndo"));
            Press(QStringLiteral("<PgUp>55"));
            QVERIFY(e_->Document().Modified());
        }
        const QByteArray expected = ReadFile(f_->path).replace(1, 1, "\x55");
        f_->ts.messages.answers = {platform::MsgAnswer::Yes};
        f_->Menu("mnuDone");
        QCOMPARE(ReadFile(f_->path), expected);
    }
};

QTEST_MAIN(EditingTest)
#include "tst_editing.moc"
