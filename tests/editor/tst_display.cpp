// The page display and paging: what a page shows up to past 4 GiB, where every move lands.
#include "EditorFixture.h"
#include "editor/ClickLabel.h"

#include <QLabel>

class DisplayTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { TestTempFolder(); }

    void pages_data() {
        QTest::addColumn<int>("size");
        QTest::addColumn<qint64>("start");
        QTest::addColumn<int>("rows");
        QTest::addColumn<QString>("label");
        QTest::addColumn<QPoint>("last"); // (row, column) of the last byte shown
        QTest::addColumn<bool>("endOfFile");
        // clang-format off
        QTest::newRow("16 bytes") << 16 << 1LL << 2 << "1 of 1" << QPoint(0, 15) << true;
        QTest::newRow("320 bytes") << 320 << 1LL << 20 << "1 of 1" << QPoint(19, 15) << false;
        QTest::newRow("321 bytes") << 321 << 1LL << 20 << "1 of 2" << QPoint(19, 15) << false;
        QTest::newRow("321 bytes at 17") << 321 << 17LL << 20 << "2 of 2" << QPoint(19, 0) << true;
        QTest::newRow("1000 bytes at 961") << 1000 << 961LL << 3 << "4 of 4" << QPoint(2, 7) << true;
        // clang-format on
    }

    void pages() {
        QFETCH(int, size);
        QFETCH(qint64, start);
        QFETCH(QPoint, last);
        EditorFixture f;
        f.Open(f.WriteFile(QStringLiteral("p.bin"), Counting(size)));
        frmEditor& e = *f.editor;
        e.Session().ShowPage(start);
        e.Refresh(); // over the first page: nothing of it may show through
        QTEST(Part<Grid>(&e, "grid1")->Rows(), "rows");
        QTEST(Part<QLabel>(&e, "lblInfo_4")->text(), "label");
        QTEST(Navigation::EndOfFile(start, size), "endOfFile");
        const int lastByte = int(start - 1 + 16 * last.x() + last.y());
        QCOMPARE(Part<Grid>(&e, "grid1")->Value(last.x(), last.y()),
                 QByteArray(1, char(lastByte)).toHex().toUpper());
        const int h = Part<Grid>(&e, "grid1")->CellHeight();
        QVERIFY(!Inked(Part<PictureBox>(&e, "PicHex"), QRect(0, (last.x() + 1) * h, 999, 20 * h)));
        QVERIFY(!Inked(Part<PictureBox>(&e, "PicOffSet"),
                       QRect(0, (last.x() + 1) * (Part<PictureBox>(&e, "PicOffSet")->height() / 20),
                             999, 20 * h)));
    }

    void cellTexts() {
        // The text pane in the code page; the headers in hexadecimal once the radix is toggled.
        EditorFixture f;
        QVERIFY(f.OpenAndShow(
            QByteArray("\x00\x1f\x20\x21\x7f\x80\x81\x8d\x8f\x90\x9d\x9f\xa0\xe9\xff", 15)));
        QStringList cells;
        for (int c = 0; c < 15; ++c) {
            cells << Part<Grid>(f.editor, "grid2")->Value(0, c);
        }
        QCOMPARE(cells.join(QString()), QStringLiteral("...!.\u20ac.....\u0178\u00a0\u00e9\u00ff"));
        QTest::mouseClick(Part<ClickLabel>(f.editor, "lblSelect"), Qt::LeftButton);
        QCOMPARE(Part<QLabel>(f.editor, "Label2_15")->text(), "0F");
    }

    void keys_data() {
        QTest::addColumn<QString>("keys");
        QTest::addColumn<qint64>("page");
        QTest::addColumn<QString>("offset"); // of the cursor
        // clang-format off
        QTest::newRow("ctrl+end") << "^<End>" << 689LL << "999";
        QTest::newRow("the 20th down scrolls a row") << QString("<Down>").repeated(20) << 17LL << "320";
        QTest::newRow("text pane: page down, up") << "<Tab><PgDown><Up>" << 305LL << "304";
        // clang-format on
    }

    void keys() {
        EditorFixture f;
        QVERIFY(f.OpenAndShow(Counting(1000)));
        QFETCH(QString, keys);
        Press(keys);
        QTEST(f.editor->Session().View().pageStart, "page");
        QTEST(Part<QLabel>(f.editor, "lblInfo_3")->text(), "offset");
    }

    void beyondFourGiB() {
        EditorFixture f;
        const qint64 four = qint64(1) << 32;
        const qint64 length = four + 1000; // the last row short
        const QString path = f.ts.dir.filePath(QStringLiteral("huge.bin"));
        {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly) && file.resize(length)); // sparse
            QVERIFY(file.seek(four - 1) && file.write("\x11\x22") == 2);     // across 4 GiB
            QVERIFY(file.seek(length - 3) && file.write("\x01\x02\x03") == 3);
        }
        f.Open(path);
        frmEditor& e = *f.editor;
        QCOMPARE(Part<QLabel>(&e, "lblInfo_5")->text(), QString::number(length));
        QVERIFY(f.Show());
        QTest::keyClick(Part<PictureBox>(&e, "PicHex"), Qt::Key_End, Qt::ControlModifier);
        const qint64 lastRow = 16 * (length / 16) + 1;
        QCOMPARE(e.Session().View().pageStart, lastRow - 304);
        QCOMPARE(Part<Grid>(&e, "grid1")->Value(19, 7) + Part<Grid>(&e, "grid1")->Value(19, 8),
                 QStringLiteral("03-1"));
        QCOMPARE(Part<QLabel>(&e, "lblInfo_4")->text() + ' ' +
                     Part<QLabel>(&e, "lblInfo_3")->text(),
                 QStringLiteral("%1 of %1 %2").arg((length - 1) / 320 + 1).arg(length - 1));
        QTest::keyClick(Part<PictureBox>(&e, "PicHex"), Qt::Key_PageUp);
        QCOMPARE(e.Session().View().pageStart, lastRow - 624);

        // The byte before the boundary, edited and saved: every byte lands where it was.
        QVERIFY(e.Session().GoTo(QStringLiteral("0xFFFFFFFF")));
        e.Refresh();
        QCOMPARE(Part<QLabel>(&e, "lblInfo_0")->text(), QStringLiteral("11"));
        Press(QStringLiteral("44"));
        Part<QAction>(&e, "mnuSave")->trigger();
        QFile out(path);
        QVERIFY(out.open(QIODevice::ReadOnly));
        QCOMPARE(out.size(), length);
        QVERIFY(out.seek(four - 2));
        QCOMPARE(out.read(3), QByteArray("\0\x44\x22", 3));
        QVERIFY(out.seek(length - 4));
        QCOMPARE(out.read(4), QByteArray("\0\x01\x02\x03", 4));
    }
};

QTEST_MAIN(DisplayTest)
#include "tst_display.moc"
