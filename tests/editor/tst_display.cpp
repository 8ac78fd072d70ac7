// The page display and paging: what a page shows up to past 4 GiB, where every move lands.
#include "EditorFixture.h"

class DisplayTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { TestTempFolder(); }

    void pages_data() {
        // last: (row, column) of the last byte shown
        Columns<int, qint64, int, QString, QPoint, bool>(
            {"size", "start", "rows", "label", "last", "endOfFile"});
        // clang-format off
        QTest::newRow("16 bytes") << 16 << 1LL << 2 << "1 of 1" << QPoint(0, 15) << true;
        QTest::newRow("320 bytes") << 320 << 1LL << 20 << "1 of 1" << QPoint(19, 15) << false;
        QTest::newRow("321 bytes") << 321 << 1LL << 20 << "1 of 2" << QPoint(19, 15) << false;
        QTest::newRow("321 bytes at 17") << 321 << 17LL << 20 << "2 of 2" << QPoint(19, 0) << true;
        QTest::newRow("1000 bytes at 961") << 1000 << 961LL << 3 << "4 of 4" << QPoint(2, 7) << true;
        // clang-format on
    }

    void pages() {
        const auto [size, start, last] = Row<int, qint64, QPoint>({"size", "start", "last"});
        EditorFixture f;
        f.Open(f.WriteFile(QStringLiteral("p.bin"), Counting(size)));
        frmEditor& e = *f.editor;
        e.Session().ShowPage(start);
        e.Refresh(); // over the first page: nothing of it may show through
        QTEST(Part<Grid>(&e, "grid1")->Rows(), "rows");
        QTEST(f.Label("lblInfo_4"), "label");
        QTEST(Navigation::EndOfFile(start, size), "endOfFile");
        const int lastByte = int(start - 1 + 16 * last.x() + last.y());
        QCOMPARE(f.Hex(last.x(), last.y()), QByteArray(1, char(lastByte)).toHex().toUpper());
        const int h = Part<Grid>(&e, "grid1")->CellHeight();
        QVERIFY(!Inked(f.Pane("PicHex"), QRect(0, (last.x() + 1) * h, 999, 20 * h)));
        QVERIFY(
            !Inked(f.Pane("PicOffSet"),
                   QRect(0, (last.x() + 1) * (f.Pane("PicOffSet")->height() / 20), 999, 20 * h)));
    }

    void cellTexts() {
        // The text pane in the code page; the headers in hexadecimal once the radix is toggled.
        EditorFixture f;
        QVERIFY(f.OpenAndShow(
            QByteArray("\x00\x1f\x20\x21\x7f\x80\x81\x8d\x8f\x90\x9d\x9f\xa0\xe9\xff", 15)));
        QStringList cells;
        for (int c = 0; c < 15; ++c) {
            cells << f.Text(0, c);
        }
        QCOMPARE(cells.join(QString()), QStringLiteral("...!.\u20ac.....\u0178\u00a0\u00e9\u00ff"));
        QTest::mouseClick(Part<ClickLabel>(f.editor, "lblSelect"), Qt::LeftButton);
        QCOMPARE(f.Label("Label2_15"), "0F");
    }

    void keys() { // where the cursor lands, and the page
        const QList<std::tuple<QString, qint64, QString>> cases = {
            {"^<End>", 689, "999"},
            {QString("<Down>").repeated(20), 17, "320"}, // the 20th scrolls a row
            {"<Tab><PgDown><Up>", 305, "304"}};          // in the text pane
        for (const auto& [keys, page, offset] : cases) {
            EditorFixture f;
            QVERIFY(f.OpenAndShow(Counting(1000)));
            Press(keys);
            QCOMPARE(f.editor->Session().View().pageStart, page);
            QCOMPARE(f.Label("lblInfo_3"), offset);
        }
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
        QCOMPARE(f.Label("lblInfo_5"), QString::number(length));
        QVERIFY(f.Show());
        QTest::keyClick(f.Pane("PicHex"), Qt::Key_End, Qt::ControlModifier);
        const qint64 lastRow = 16 * (length / 16) + 1;
        QCOMPARE(e.Session().View().pageStart, lastRow - 304);
        QCOMPARE(f.Hex(19, 7) + f.Hex(19, 8), QStringLiteral("03-1"));
        QCOMPARE(f.Label("lblInfo_4") + ' ' + f.Label("lblInfo_3"),
                 QStringLiteral("%1 of %1 %2").arg((length - 1) / 320 + 1).arg(length - 1));
        QTest::keyClick(f.Pane("PicHex"), Qt::Key_PageUp);
        QCOMPARE(e.Session().View().pageStart, lastRow - 624);

        // The byte before the boundary, edited and saved: every byte lands where it was.
        QVERIFY(e.Session().GoTo(QStringLiteral("0xFFFFFFFF")));
        e.Refresh();
        QCOMPARE(f.Label("lblInfo_0"), QStringLiteral("11"));
        Press(QStringLiteral("44"));
        f.Menu("mnuSave");
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
