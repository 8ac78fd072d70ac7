// The page display and paging: what a page shows for files from 1 byte to over 4 GiB, the
// cell and offset texts, and where every move lands.
#include "EditorFixture.h"
#include "editor/CellText.h"
#include "editor/ClickLabel.h"

#include <QLabel>

namespace {

// Whether anything is drawn in a band of rows of the offset column.
bool Ink(PictureBox* box, const QRect& area) {
    const QImage& image = box->Image();
    const QRgb back = box->BackColor().rgb();
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            if (image.pixel(x, y) != back) {
                return true;
            }
        }
    }
    return false;
}

bool OffsetInk(frmEditor& e, int row) {
    return Ink(e.PicOffSet, QRect(0, row * e.RowHeight, e.PicOffSet->width(), e.RowHeight));
}

} // namespace

class DisplayTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { TestTempFolder(); }
    void fullAndShortPages();
    void tinyFiles_data();
    void tinyFiles();
    void textPaneCharacters();
    void moves_data();
    void moves();
    void redrawOrNot();
    void keysRequestMoves();
    void beyondFourGiB();
};

void DisplayTest::fullAndShortPages() {
    EditorFixture f;
    f.Open(f.WriteFile(QStringLiteral("320.bin"), Counting(320)));
    frmEditor& e = *f.editor;
    QCOMPARE(e.grid1->Rows(), 20);
    QCOMPARE(e.grid2->Rows(), 20);
    QCOMPARE(e.lblInfo[4]->text(), QStringLiteral("1 of 1"));
    QCOMPARE(e.grid1->Value(19, 15), QStringLiteral("3F"));
    QVERIFY(OffsetInk(e, 0) && OffsetInk(e, 19));
    QVERIFY(!e.EndOfFile());

    EditorFixture g;
    g.Open(g.WriteFile(QStringLiteral("321.bin"), Counting(321)));
    frmEditor& h = *g.editor;
    QCOMPARE(h.grid1->Rows(), 20);
    QCOMPARE(h.lblInfo[4]->text(), QStringLiteral("1 of 2"));
    h.PageStart = 17;
    h.FillGrid();
    QCOMPARE(h.lblInfo[4]->text(), QStringLiteral("2 of 2"));
    QCOMPARE(h.grid1->Rows(), 20);
    QCOMPARE(h.grid1->Value(19, 0), QStringLiteral("40")); // byte 320
    QCOMPARE(h.grid1->Value(19, 1), QStringLiteral("-1"));

    // The radix toggle redraws the same rows and the headers, in hexadecimal, and back.
    const auto headers = [&h] {
        QStringList texts;
        for (int i = 0; i < 16; ++i) {
            texts << h.Label2[i]->text();
        }
        return texts.join(QLatin1Char(' '));
    };
    const QImage decimal = h.PicOffSet->Image();
    QVERIFY(g.Show());
    const QString selected = h.lblInfo[3]->text();
    QTest::mouseClick(h.lblSelect, Qt::LeftButton);
    QCOMPARE(h.lblSelect->text(), QStringLiteral("OFFSET HEX"));
    QCOMPARE(headers(), QStringLiteral("00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F"));
    QVERIFY(h.PicOffSet->Image() != decimal);
    QTest::mouseClick(h.lblSelect, Qt::LeftButton);
    QCOMPARE(h.lblSelect->text(), QStringLiteral("OFFSET DEC"));
    QCOMPARE(headers(), QStringLiteral("00 01 02 03 04 05 06 07 08 09 10 11 12 13 14 15"));
    QCOMPARE(h.PicOffSet->Image(), decimal);
    QCOMPARE(h.lblInfo[3]->text(), selected); // the panel is not touched
}

void DisplayTest::tinyFiles_data() {
    QTest::addColumn<int>("size");
    QTest::newRow("1 byte") << 1;
    QTest::newRow("7 bytes") << 7;
    QTest::newRow("16 bytes") << 16;
}

void DisplayTest::tinyFiles() {
    QFETCH(int, size);
    EditorFixture f;
    f.Open(f.WriteFile(QStringLiteral("tiny.bin"), QByteArray(size, '\x41')));
    frmEditor& e = *f.editor;
    QCOMPARE(e.grid1->Rows(), 2);
    for (int c = 0; c < 16; ++c) {
        QCOMPARE(e.grid1->Value(0, c), c < size ? QStringLiteral("41") : QStringLiteral("-1"));
        QCOMPARE(e.grid2->Value(0, c), c < size ? QStringLiteral("A") : QStringLiteral("-1"));
        QCOMPARE(e.grid1->Value(1, c), QStringLiteral("-1"));
    }
    // Blank past the end, and only row 0 has an offset, also after the radix toggle.
    const QRect firstBlank(size * e.grid1->CellWidth(), 0, 352 - size * e.grid1->CellWidth(),
                           2 * e.grid1->CellHeight());
    QVERIFY(firstBlank.width() == 0 || !Ink(e.PicHex, firstBlank));
    QVERIFY(OffsetInk(e, 0));
    QVERIFY(!OffsetInk(e, 1));
    e.lblSelect_Click();
    QVERIFY(OffsetInk(e, 0));
    QVERIFY(!OffsetInk(e, 1));
    QCOMPARE(e.lblInfo[4]->text(), QStringLiteral("1 of 1"));
}

void DisplayTest::textPaneCharacters() {
    EditorFixture f;
    QByteArray data("\x00\x1f\x20\x21\x7f\x80\x81\x8d\x8f\x90\x9d\x9f\xa0\xe9\xff", 15);
    f.Open(f.WriteFile(QStringLiteral("chars.bin"), data));
    const QStringList expected = {".", ".", ".", "!",      ".",      "\u20ac", ".",     ".",
                                  ".", ".", ".", "\u0178", "\u00a0", "\u00e9", "\u00ff"};
    for (int c = 0; c < expected.size(); ++c) {
        QCOMPARE(f.editor->grid2->Value(0, c), expected[c]);
    }
    QCOMPARE(f.editor->grid1->Value(0, 14), QStringLiteral("FF"));
}

void DisplayTest::moves_data() {
    QTest::addColumn<qint64>("length");
    QTest::addColumn<qint64>("start");
    QTest::addColumn<QString>("move");
    QTest::addColumn<qint64>("expected");
    QTest::addColumn<int>("rows");
    QTest::newRow("320: last") << qint64(320) << qint64(1) << "last" << qint64(17) << 19;
    QTest::newRow("1000 at 961: next page")
        << qint64(1000) << qint64(961) << "nextPage" << qint64(961) << 3;
    QTest::newRow("1000 at 641: next page")
        << qint64(1000) << qint64(641) << "nextPage" << qint64(961) << 3;
    QTest::newRow("960 at 641: next page")
        << qint64(960) << qint64(641) << "nextPage" << qint64(641) << 20;
    QTest::newRow("100: last") << qint64(100) << qint64(1) << "last" << qint64(1) << 7;
    QTest::newRow("previous page from 17")
        << qint64(1000) << qint64(17) << "previousPage" << qint64(1) << 20;
    QTest::newRow("previous line from 33")
        << qint64(1000) << qint64(33) << "previousLine" << qint64(17) << 20;
    QTest::newRow("next line, 20 rows left")
        << qint64(336) << qint64(17) << "nextLine" << qint64(33) << 19;
    QTest::newRow("next line, short page")
        << qint64(1000) << qint64(961) << "nextLine" << qint64(961) << 3;
    QTest::newRow("next line, last row short")
        << qint64(330) << qint64(17) << "nextLine" << qint64(17) << 20;
    QTest::newRow("first") << qint64(5000) << qint64(3201) << "first" << qint64(1) << 20;
    QTest::newRow("4800: last") << qint64(4800) << qint64(1) << "last" << qint64(4497) << 19;
    QTest::newRow("4801: last") << qint64(4801) << qint64(1) << "last" << qint64(4497) << 20;
}

void DisplayTest::moves() {
    QFETCH(qint64, length);
    QFETCH(qint64, start);
    QFETCH(QString, move);
    QFETCH(qint64, expected);
    QFETCH(int, rows);
    EditorFixture f;
    f.Open(f.WriteFile(QStringLiteral("m.bin"), Counting(length)));
    frmEditor& e = *f.editor;
    e.PageStart = start;
    e.FillGrid();
    if (move == QLatin1String("last")) {
        e.MoveLast();
    } else if (move == QLatin1String("first")) {
        e.MoveFirst();
    } else if (move == QLatin1String("nextPage")) {
        e.MoveNextPage();
    } else if (move == QLatin1String("previousPage")) {
        e.MovePreviousPage();
    } else if (move == QLatin1String("nextLine")) {
        e.MoveNextLine();
    } else {
        e.MovePreviousLine();
    }
    QCOMPARE(e.PageStart, expected);
    QCOMPARE(e.grid1->Rows(), rows);
    QCOMPARE(e.grid1->Pointer(), expected);
    QCOMPARE(e.grid2->Pointer(), expected);
    QCOMPARE(e.grid1->Value(0, 0), CellText::ByteToHex(int((expected - 1) & 0xFF)));
}

void DisplayTest::redrawOrNot() {
    // A redraw yields to the event loop once; the fake clock counts it.
    EditorFixture f;
    f.Open(f.WriteFile(QStringLiteral("r.bin"), Counting(1000)));
    frmEditor& e = *f.editor;
    int before = f.ts.clock.ProcessCount();
    e.MovePreviousLine(); // at the top: redraws all the same
    QCOMPARE(e.PageStart, qint64(1));
    QCOMPARE(f.ts.clock.ProcessCount(), before + 1);
    before = f.ts.clock.ProcessCount();
    e.MovePreviousPage(); // at the top: nothing
    QCOMPARE(f.ts.clock.ProcessCount(), before);
    e.PageStart = 961;
    e.FillGrid();
    before = f.ts.clock.ProcessCount();
    e.MoveNextPage(); // short last page: nothing
    e.MoveNextLine();
    QCOMPARE(f.ts.clock.ProcessCount(), before);
    QCOMPARE(e.PageStart, qint64(961));
}

void DisplayTest::keysRequestMoves() {
    EditorFixture f;
    f.Open(f.WriteFile(QStringLiteral("k.bin"), Counting(1000)));
    QVERIFY(f.Show());
    frmEditor& e = *f.editor;
    QTRY_VERIFY(e.PicHex->hasFocus());
    QTest::keyClick(e.PicHex, Qt::Key_PageDown);
    QCOMPARE(e.PageStart, qint64(321));
    QTest::keyClick(e.PicHex, Qt::Key_End, Qt::ControlModifier);
    QCOMPARE(e.PageStart, qint64(993 - 304));
    QCOMPARE(e.lblInfo[3]->text(), QStringLiteral("999")); // the cursor on the last byte
    QTest::keyClick(e.PicHex, Qt::Key_Home, Qt::ControlModifier);
    QCOMPARE(e.PageStart, qint64(1));
    QTest::keyClick(e.PicHex, Qt::Key_Up); // row 0 of the first page: nothing
    QCOMPARE(e.PageStart, qint64(1));
    for (int i = 0; i < 20; ++i) {
        QTest::keyClick(e.PicHex, Qt::Key_Down);
    }
    QCOMPARE(e.PageStart, qint64(17)); // the 20th Down scrolls by a row
    QCOMPARE(e.grid1->Row(), 19);

    // Down from the last row of a short last page does nothing.
    QTest::keyClick(e.PicText, Qt::Key_PageDown); // the text pane has no focus: no request
    QCOMPARE(e.PageStart, qint64(17));
    e.PageStart = 961;
    e.FillGrid();
    QTest::keyClick(e.PicHex, Qt::Key_Down, Qt::ControlModifier);
    QTest::keyClick(e.PicHex, Qt::Key_PageDown, Qt::ControlModifier);
    QTest::keyClick(e.PicHex, Qt::Key_Down);
    QCOMPARE(e.PageStart, qint64(961));
}

void DisplayTest::beyondFourGiB() {
    EditorFixture f;
    const qint64 four = qint64(1) << 32;
    const qint64 length = four + 1000; // the last row short
    const QString path = f.ts.dir.filePath(QStringLiteral("huge.bin"));
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.resize(length)); // sparse: takes no room
        QVERIFY(file.seek(four - 1));
        file.write("\x11\x22"); // across the 4 GiB boundary
        QVERIFY(file.seek(length - 3));
        file.write("\x01\x02\x03");
    }
    f.Open(path);
    frmEditor& e = *f.editor;
    QCOMPARE(e.lblInfo[5]->text(), QString::number(length));
    e.MoveLast();
    const qint64 lastRow = 16 * (length / 16) + 1;
    QCOMPARE(e.PageStart, lastRow - 304);
    QCOMPARE(e.grid1->Rows(), 20);
    QCOMPARE(e.grid1->Value(19, 5), QStringLiteral("01"));
    QCOMPARE(e.grid1->Value(19, 7), QStringLiteral("03"));
    QCOMPARE(e.grid1->Value(19, 8), QStringLiteral("-1"));
    QCOMPARE(e.lblInfo[4]->text(), QStringLiteral("%1 of %1").arg((length - 1) / 320 + 1));
    QVERIFY(f.Show());
    QTest::keyClick(e.PicHex, Qt::Key_End, Qt::ControlModifier);
    QCOMPARE(e.lblInfo[3]->text(), QString::number(length - 1));
    QCOMPARE(e.lblInfo[2]->text(), QString::number(length - 1, 16).toUpper());
    QCOMPARE(e.lblInfo[0]->text(), QStringLiteral("03"));
    e.MovePreviousPage();
    QCOMPARE(e.PageStart, lastRow - 304 - 320);

    // The byte before the boundary, edited and saved: every byte lands where it was.
    QVERIFY(e.GoToOffset(QStringLiteral("0xFFFFFFFF")));
    QCOMPARE(e.lblInfo[0]->text(), QStringLiteral("11"));
    QTest::sendKeyEvent(QTest::Click, e.PicHex, Qt::Key_unknown, QStringLiteral("4"),
                        Qt::NoModifier);
    QTest::sendKeyEvent(QTest::Click, e.PicHex, Qt::Key_unknown, QStringLiteral("4"),
                        Qt::NoModifier);
    e.mnuSave_Click();
    QFile out(path);
    QVERIFY(out.open(QIODevice::ReadOnly));
    QCOMPARE(out.size(), length);
    QVERIFY(out.seek(four - 2));
    QCOMPARE(out.read(3), QByteArray("\0\x44\x22", 3));
    QVERIFY(out.seek(length - 4));
    QCOMPARE(out.read(4), QByteArray("\0\x01\x02\x03", 4));
}

QTEST_MAIN(DisplayTest)
#include "tst_display.moc"
