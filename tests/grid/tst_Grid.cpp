// The grid over a picture box, and the box itself: keys at the page's edges, events, clicks.
#include "../common/TableRows.h"
#include "ErrorNumberOf.h"
#include "grid/Grid.h"
#include "widgets/PictureBox.h"

#include <QLineEdit>
#include <QSignalSpy>
#include <QtTest>
#include <climits>

// A host like the memory editor: data of a length, the page refilled when the grid asks to
// scroll (20 rows, fewer at the end), and a log of the grid's events.
class GridHost {
public:
    explicit GridHost(qint64 length, QSize box = QSize(352, 381)) : length(length) {
        window.resize(box.width(), box.height() + 40);
        pic->setGeometry(QRect(QPoint(0, 0), box));
        other->setGeometry(0, box.height() + 5, 100, 30);
        grid.InitializeGrid(pic, marker);
        grid.SetMax(length);
        for (auto [event, name] : {std::pair{&Grid::EnterCell, "E"}, {&Grid::LeaveCell, "L"}}) {
            QObject::connect(&grid, event, &grid, [this, name](int r, int c) {
                log << QStringLiteral("%1%2,%3").arg(name).arg(r).arg(c);
            });
        }
        QObject::connect(&grid, &Grid::Click, &grid, [this] { log << QStringLiteral("Click"); });
        Handle(&Grid::RequestNextRow, "NextRow", [this] {
            return grid.Rows() == 20 && pageStart + 16 <= this->length ? pageStart + 16 : None;
        });
        Handle(&Grid::RequestPreviousRow, "PrevRow", [this] { return pageStart - 16; });
        Handle(&Grid::RequestNextPage, "NextPage", [this] {
            const qint64 next =
                pageStart + 320 < this->length ? pageStart + 320 : 16 * (this->length / 16) - 319;
            return grid.Rows() < 20 ? None : next;
        });
        Handle(&Grid::RequestPreviousPage, "PrevPage",
               [this] { return pageStart >= 2 ? pageStart - 320 : None; });
        Handle(&Grid::RequestBOF, "BOF", [] { return qint64(1); });
        Handle(&Grid::RequestEOF, "EOF", [this] { return 16 * (this->length / 16) + 1 - 304; });
        Fill();
        grid.Reset();
    }

    bool Show() {
        window.show();
        const bool active = QTest::qWaitForWindowActive(&window);
        pic->setFocus();
        return active && pic->hasFocus();
    }

    // Puts the page at pageStart and the cursor on (r, c), then forgets the events so far.
    void Start(qint64 page, int r, int c) {
        pageStart = page;
        Fill();
        grid.SelectCell(r, c);
        log.clear();
    }

    void Fill() {
        grid.SetPointer(pageStart);
        const qint64 n = (length - pageStart) / 16;
        grid.SetRows(n >= 20 ? 20 : static_cast<int>(std::max<qint64>(n, 1)) + 1);
        for (int r = 0; r < grid.Rows(); ++r) {
            for (int c = 0; c < 16; ++c) {
                grid.SetValue(r, c, QString::number((pageStart + 16 * r + c) % 256, 16));
            }
        }
        grid.Refresh();
    }

    QPoint Cursor() const { return {grid.Row(), grid.Col()}; }
    QString Log() const { return log.join(QLatin1Char(' ')); }

    qint64 length;
    qint64 pageStart = 1;
    QWidget window;
    PictureBox* pic = new PictureBox(&window);
    QLineEdit* other = new QLineEdit(&window);
    MarkerShape* marker = new MarkerShape(pic);
    Grid grid;
    QStringList log;

private:
    static constexpr qint64 None = LLONG_MIN;
    template <typename Scroller> void Handle(void (Grid::*event)(), const char* name, Scroller s) {
        QObject::connect(&grid, event, &grid, [this, name, s] {
            log << QString::fromLatin1(name);
            if (const qint64 page = s(); page != None) {
                pageStart = std::max<qint64>(1, page);
                Fill();
            }
        });
    }
};

class tst_Grid : public QObject {
    Q_OBJECT

private slots:
    // The keys move by GridMoves (tested with the editor's document); the grid raises the
    // request the move asks for between leaving its cell and entering the one it lands on.
    // A click ("@x,y" in pixels, cells of 22 x 19) moves to the cell under it, or the nearest.
    void moves_data() {
        // from, to: (row, column)
        Columns<qint64, qint64, QPoint, QString, QString, QPoint>(
            {"length", "page", "from", "input", "events", "to"});
        // clang-format off
        QTest::newRow("left, data before") << 1000LL << 17LL << QPoint(0, 0) << "Left" << "L0,0 PrevRow E0,15" << QPoint(0, 15);
        QTest::newRow("down, one more byte") << 321LL << 1LL << QPoint(19, 3) << "Down" << "L19,3 NextRow E19,0 E19,0" << QPoint(19, 0);
        QTest::newRow("right, no more data") << 320LL << 1LL << QPoint(19, 15) << "Right" << "" << QPoint(19, 15);
        QTest::newRow("page down") << 1000LL << 961LL << QPoint(1, 6) << "PgDown" << "L1,6 NextPage E1,6" << QPoint(1, 6);
        QTest::newRow("page up") << 1000LL << 321LL << QPoint(5, 5) << "PgUp" << "L5,5 PrevPage E5,5" << QPoint(5, 5);
        QTest::newRow("ctrl+home") << 1000LL << 321LL << QPoint(5, 5) << "Ctrl+Home" << "L5,5 BOF E0,0" << QPoint(0, 0);
        QTest::newRow("ctrl+end") << 1000LL << 1LL << QPoint(5, 5) << "Ctrl+End" << "L5,5 EOF E19,7 E19,7" << QPoint(19, 7);
        QTest::newRow("ctrl+page down, no scroll") << 1000LL << 1LL << QPoint(4, 6) << "Ctrl+PgDown" << "L4,6 E19,6" << QPoint(19, 6);
        QTest::newRow("click on the cursor cell") << 1000LL << 1LL << QPoint(2, 2) << "@50,40" << "Click" << QPoint(2, 2);
        QTest::newRow("click past the data") << 40LL << 1LL << QPoint(2, 2) << "@300,45" << "L2,2 E2,7 Click" << QPoint(2, 7);
        QTest::newRow("click right of the last column") << 1000LL << 1LL << QPoint(2, 2) << "@355,10" << "L2,2 E0,15 Click" << QPoint(0, 15);
        QTest::newRow("click below the last row, short page") << 40LL << 1LL << QPoint(2, 2) << "@10,370" << "L2,2 E2,0 Click" << QPoint(2, 0);
        // clang-format on
    }
    void moves() {
        const auto [length, page, from, input, to] =
            Row<qint64, qint64, QPoint, QString, QPoint>({"length", "page", "from", "input", "to"});
        GridHost host(length, QSize(360, 381)); // 8 pixels right of the last column
        QVERIFY(host.Show());
        host.Start(page, from.x(), from.y());
        const QKeyCombination combo = QKeySequence(input)[0];
        input.startsWith('@') ? QTest::mouseClick(host.pic, Qt::LeftButton, {},
                                                  QPoint(input.mid(1).section(',', 0, 0).toInt(),
                                                         input.section(',', 1).toInt()))
                              : QTest::keyClick(host.pic, combo.key(), combo.keyboardModifiers());
        QTEST(host.Log(), "events");
        QCOMPARE(host.Cursor(), to);
        QCOMPARE(QPoint(host.marker->Left(), host.marker->Top()),
                 QPoint(to.y() * host.grid.CellWidth(), to.x() * host.grid.CellHeight()));
        // Each later move reports the cell it leaves again; Reset goes back to the origin.
        host.log.clear();
        host.grid.SelectCell(1, 2);
        host.grid.Reset();
        QCOMPARE(host.Log(), QStringLiteral("L%1,%2 E1,2 L1,2 E0,0").arg(to.x()).arg(to.y()));
    }

    void cellsPastTheData() {
        GridHost host(20);                              // rows 0 and 1; row 1 holds 4 bytes
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
        QCOMPARE(ErrorNumberOf([&] { host.grid.SetValue(4, 0, QString()); }), 9);
        QCOMPARE(ErrorNumberOf([&] { host.grid.Value(0, 16); }), 9);
    }
    void markerInvertsOnlyOnScreen() {
        PictureBox box;
        box.resize(100, 100);
        box.FillBox(QRect(0, 0, 100, 100), QColor(0x10, 0x20, 0x30));
        auto* marker = new MarkerShape(&box);
        marker->Move(20, 20, 10, 8);
        const QImage shown = box.Rendered(); // inverted from the corner on, not past it
        QVERIFY(shown.pixelColor(20, 20) == QColor(0xEF, 0xDF, 0xCF) &&
                shown.pixel(30, 27) == box.Image().pixel(30, 27));
        QCOMPARE(box.grab().toImage(), shown);
        marker->SetVisible(false);
        QCOMPARE(box.Rendered(), box.Image());
        marker->SetVisible(true);
        delete marker;
        QCOMPARE(box.Rendered(), box.Image());
    }

    void clicksAndFocus() {
        GridHost host(1000, QSize(100, 100));
        host.other->setFocus();
        host.window.show();
        QVERIFY(QTest::qWaitForWindowActive(&host.window));
        QSignalSpy got(host.pic, &PictureBox::GotFocus);
        QSignalSpy mouse(host.pic, &PictureBox::MouseDown);
        QTest::mouseClick(host.pic, Qt::RightButton, Qt::ShiftModifier, QPoint(30, 40));
        QVERIFY(host.pic->Focused());
        QCOMPARE(mouse.takeFirst(), QVariantList({2, 1, 30, 40}));
        host.other->setFocus();
        QVERIFY(got.count() == 1 && !host.pic->Focused());
    }
};

QTEST_MAIN(tst_Grid)
#include "tst_Grid.moc"
