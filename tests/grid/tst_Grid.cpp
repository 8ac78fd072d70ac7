#include "ErrorNumberOf.h"
#include "GridHost.h"

#include <QtTest>

class tst_Grid : public QObject {
    Q_OBJECT

private slots:
    void keyTable_data() {
        QTest::addColumn<qint64>("length");
        QTest::addColumn<qint64>("page");
        QTest::addColumn<QPoint>("from"); // (row, column)
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("events");
        QTest::addColumn<QPoint>("to");
        QTest::addColumn<qint64>("pageAfter");
        // clang-format off
        QTest::newRow("left wraps a row") << 1000LL << 1LL << QPoint(3, 0) << "Left" << "L3,0 E2,15" << QPoint(2, 15) << 1LL;
        QTest::newRow("left at origin, data before") << 1000LL << 17LL << QPoint(0, 0) << "Left" << "L0,0 PrevRow E0,15" << QPoint(0, 15) << 1LL;
        QTest::newRow("left at origin, first page") << 1000LL << 1LL << QPoint(0, 0) << "Left" << "" << QPoint(0, 0) << 1LL;
        QTest::newRow("right wraps a row") << 1000LL << 1LL << QPoint(3, 15) << "Right" << "L3,15 E4,0" << QPoint(4, 0) << 1LL;
        QTest::newRow("right last cell, more data") << 1000LL << 1LL << QPoint(19, 15) << "Right" << "L19,15 NextRow E19,0" << QPoint(19, 0) << 17LL;
        QTest::newRow("right last cell, one more byte") << 321LL << 1LL << QPoint(19, 15) << "Right" << "L19,15 NextRow E19,0 E19,0" << QPoint(19, 0) << 17LL;
        QTest::newRow("right last cell, no more data") << 320LL << 1LL << QPoint(19, 15) << "Right" << "" << QPoint(19, 15) << 1LL;
        QTest::newRow("down last row, more data") << 1000LL << 1LL << QPoint(19, 3) << "Down" << "L19,3 NextRow E19,3" << QPoint(19, 3) << 17LL;
        QTest::newRow("down last row, one more byte") << 321LL << 1LL << QPoint(19, 3) << "Down" << "L19,3 NextRow E19,0 E19,0" << QPoint(19, 0) << 17LL;
        QTest::newRow("down last row, no more data") << 320LL << 1LL << QPoint(19, 3) << "Down" << "" << QPoint(19, 3) << 1LL;
        QTest::newRow("down onto an empty row") << 16LL << 1LL << QPoint(0, 3) << "Down" << "" << QPoint(0, 3) << 1LL;
        QTest::newRow("up row 0, data before") << 1000LL << 17LL << QPoint(0, 4) << "Up" << "L0,4 PrevRow E0,4" << QPoint(0, 4) << 1LL;
        QTest::newRow("ctrl+page down") << 1000LL << 1LL << QPoint(4, 6) << "Ctrl+PgDown" << "L4,6 E19,6" << QPoint(19, 6) << 1LL;
        QTest::newRow("ctrl+page down past the data") << 100LL << 1LL << QPoint(2, 8) << "Ctrl+PgDown" << "" << QPoint(2, 8) << 1LL;
        QTest::newRow("page down on the last page") << 1000LL << 961LL << QPoint(1, 6) << "PgDown" << "L1,6 NextPage E1,6" << QPoint(1, 6) << 961LL;
        QTest::newRow("ctrl+page up") << 1000LL << 1LL << QPoint(7, 3) << "Ctrl+PgUp" << "L7,3 E0,3" << QPoint(0, 3) << 1LL;
        QTest::newRow("page up") << 1000LL << 321LL << QPoint(5, 5) << "PgUp" << "L5,5 PrevPage E5,5" << QPoint(5, 5) << 1LL;
        QTest::newRow("ctrl+shift+home is home") << 1000LL << 1LL << QPoint(5, 5) << "Ctrl+Shift+Home" << "L5,5 E5,0" << QPoint(5, 0) << 1LL;
        QTest::newRow("ctrl+end, full last row") << 1024LL << 1LL << QPoint(5, 5) << "Ctrl+End" << "L5,5 EOF E18,15 E18,15" << QPoint(18, 15) << 721LL;
        QTest::newRow("ctrl+end, short last row") << 1000LL << 1LL << QPoint(5, 5) << "Ctrl+End" << "L5,5 EOF E19,7 E19,7" << QPoint(19, 7) << 689LL;
        QTest::newRow("end") << 1000LL << 1LL << QPoint(5, 5) << "End" << "L5,5 E5,15" << QPoint(5, 15) << 1LL;
        QTest::newRow("end on a short row") << 1000LL << 689LL << QPoint(19, 2) << "End" << "" << QPoint(19, 2) << 689LL;
        QTest::newRow("ctrl+end beyond 4 GiB") << (5LL << 30) + 100 << 1LL << QPoint(0, 0) << "Ctrl+End" << "L0,0 EOF E19,3 E19,3" << QPoint(19, 3) << (5LL << 30) + 97 - 304;
        QTest::newRow("right at the end beyond 4 GiB") << (5LL << 30) + 100 << (5LL << 30) + 97 - 304 << QPoint(19, 3) << "Right" << "" << QPoint(19, 3) << (5LL << 30) + 97 - 304;
        // clang-format on
    }

    void keyTable() {
        QFETCH(qint64, length);
        QFETCH(qint64, page);
        QFETCH(QPoint, from);
        QFETCH(QString, key);
        GridHost host(length);
        QVERIFY(host.Show());
        host.Start(page, from.x(), from.y());
        const QKeyCombination combo = QKeySequence(key)[0];
        QTest::keyClick(host.pic, combo.key(), combo.keyboardModifiers());
        QTEST(host.Log(), "events");
        QTEST(host.Cursor(), "to");
        QTEST(host.grid.Pointer(), "pageAfter");
        QCOMPARE(QPoint(host.marker->Left(), host.marker->Top()),
                 QPoint(host.grid.Col() * host.grid.CellWidth(),
                        host.grid.Row() * host.grid.CellHeight()));
    }

    void eventOrder() {
        GridHost host(1000);
        QVERIFY(host.Show());
        host.Start(1, 19, 4);
        QTest::keyClick(host.pic, Qt::Key_Down); // scrolls: nothing stays pending
        host.grid.SelectCell(5, 6);
        QTest::mouseClick(host.pic, Qt::LeftButton, {}, QPoint(3 * 22 + 5, 2 * 19 + 5));
        host.grid.Reset();
        QCOMPARE(host.Log(),
                 QStringLiteral("L19,4 NextRow E19,4 L19,4 E5,6 L5,6 E2,3 Click L2,3 E0,0"));

        // After SelectCell, keys leave the cell it chose, and a refused key move stays there.
        host.Start(689, 19, 1); // short last row: 8 bytes
        host.grid.SelectCell(18, 9);
        QTest::keyClick(host.pic, Qt::Key_Down);
        QCOMPARE(host.Cursor(), QPoint(18, 9));
        QTest::keyClick(host.pic, Qt::Key_Left);
        // Refresh puts a cursor left past the data back onto it, and says so.
        host.grid.SetMax(689 + 16 * 18 + 3);
        host.grid.Refresh();
        QCOMPARE(host.Log(), QStringLiteral("L19,1 E18,9 L18,9 E18,8 L18,8 E18,3"));

        // Of two grids kept in step only the one the user works in asks to scroll; the other
        // still reports leaving and entering.
        host.Start(1, 19, 3);
        host.other->setFocus();
        QTest::keyClick(host.pic, Qt::Key_Down);
        QTest::keyClick(host.pic, Qt::Key_PageDown);
        QCOMPARE(host.Log(), QStringLiteral("L19,3 E19,3 L19,3 E19,3"));
        QCOMPARE(host.pageStart, 1LL);
    }

    void focusDrawModes() {
        // The marker inverts while the box holds the focus, else it only outlines the cell.
        GridHost host(1000);
        QCOMPARE(host.marker->DrawMode(), MarkerShape::vbMaskPen);
        QVERIFY(host.Show());
        QVERIFY(host.grid.HasFocus() && host.marker->DrawMode() == MarkerShape::vbInvert);
        host.other->setFocus();
        QVERIFY(!host.grid.HasFocus() && host.marker->DrawMode() == MarkerShape::vbMaskPen);
        // Initializing over a box that already holds the focus starts in the focused look.
        host.pic->setFocus();
        Grid late;
        MarkerShape lateMarker(host.pic);
        late.InitializeGrid(host.pic, &lateMarker);
        QVERIFY(late.HasFocus() && lateMarker.DrawMode() == MarkerShape::vbInvert);
    }

    void mouse_data() {
        QTest::addColumn<QSize>("box");
        QTest::addColumn<qint64>("length");
        QTest::addColumn<QPoint>("at"); // pixels
        QTest::addColumn<QString>("events");
        QTest::addColumn<QPoint>("to"); // (row, column)
        const QSize box(352, 381);      // cells of 22 x 19
        // clang-format off
        QTest::newRow("the cursor cell") << box << 1000LL << QPoint(50, 40) << "Click" << QPoint(2, 2);
        QTest::newRow("past the data") << box << 40LL << QPoint(300, 45) << "L2,2 E2,7 Click" << QPoint(2, 7);
        QTest::newRow("right of the last column") << QSize(360, 381) << 1000LL << QPoint(355, 10) << "L2,2 E0,15 Click" << QPoint(0, 15);
        QTest::newRow("below the last row, short page") << box << 40LL << QPoint(10, 370) << "L2,2 E2,0 Click" << QPoint(2, 0);
        // clang-format on
    }

    void mouse() {
        QFETCH(QSize, box);
        QFETCH(qint64, length);
        QFETCH(QPoint, at);
        GridHost host(length, box);
        QVERIFY(host.Show());
        host.Start(1, 2, 2);
        QTest::mouseClick(host.pic, Qt::LeftButton, {}, at);
        QTEST(host.Log(), "events");
        QTEST(host.Cursor(), "to");
    }

    void cellsPastTheData() {
        GridHost host(20); // rows 0 and 1; row 1 holds 4 bytes
        QCOMPARE(host.grid.Rows(), 2);
        host.grid.SetValue(1, 4, QStringLiteral("FF")); // ignored
        QCOMPARE(host.grid.Value(1, 3) + host.grid.Value(1, 4), QStringLiteral("14-1"));
        // SelectCell onto such a cell, or outside the grid, leaves the cursor, without events.
        host.Start(1, 1, 2);
        host.grid.SelectCell(1, 9);
        host.grid.SelectCell(0, 16);
        QCOMPARE(host.Cursor(), QPoint(1, 2));
        QVERIFY(host.log.isEmpty());
        // Rows 0..Rows (the row after the page too) and columns 0..15; error 9 outside.
        host.grid.SetRows(3);
        QCOMPARE(ErrorNumberOf([&] { host.grid.SetValue(3, 15, host.grid.Value(3, 15)); }), 0);
        for (const QPoint p : {QPoint(4, 0), QPoint(-1, 0), QPoint(0, 16), QPoint(0, -1)}) {
            QCOMPARE(ErrorNumberOf([&] { host.grid.SetValue(p.x(), p.y(), QString()); }), 9);
            QCOMPARE(ErrorNumberOf([&] { host.grid.Value(p.x(), p.y()); }), 9);
        }
    }
};

QTEST_MAIN(tst_Grid)
#include "tst_Grid.moc"
