// Where each key takes the cursor and the page at the data's edges: GridMoves with paging.
#include "../common/TableRows.h"
#include "editor/model/Navigation.h"

using Navigation::Key;

class NavigationTest : public QObject {
    Q_OBJECT

private slots:
    void moves_data() {
        // cursor: 0-based offset; key: ^ for Ctrl
        Columns<qint64, qint64, qint64, QString, qint64, qint64>(
            {"length", "page", "cursor", "key", "newPage", "newCursor"});
        // clang-format off
        QTest::newRow("Ctrl+End, 320: the last row holds the last byte") << 320LL << 1LL << 0LL << "^End" << 17LL << 319LL;
        QTest::newRow("Ctrl+End, 100: one short page") << 100LL << 1LL << 0LL << "^End" << 1LL << 99LL;
        QTest::newRow("Ctrl+End, 4801") << 4801LL << 1LL << 0LL << "^End" << 4497LL << 4800LL;
        QTest::newRow("Ctrl+Home") << 1000LL << 961LL << 970LL << "^Home" << 1LL << 0LL;
        QTest::newRow("PgDown on the short last page") << 1000LL << 961LL << 961LL << "PgDown" << 961LL << 961LL;
        QTest::newRow("PgDown to the last page") << 1000LL << 641LL << 640LL << "PgDown" << 961LL << 960LL;
        QTest::newRow("PgDown, one byte past a page") << 321LL << 1LL << 5LL << "PgDown" << 1LL << 5LL;
        QTest::newRow("PgDown, 960 at 641") << 960LL << 641LL << 640LL << "PgDown" << 641LL << 640LL;
        QTest::newRow("PgDown settles before the end") << 1000LL << 641LL << 959LL << "PgDown" << 961LL << 999LL;
        QTest::newRow("PgUp from 17") << 1000LL << 17LL << 20LL << "PgUp" << 1LL << 4LL;
        QTest::newRow("PgUp at the top") << 1000LL << 1LL << 20LL << "PgUp" << 1LL << 20LL;
        QTest::newRow("Ctrl+PgDown past the data") << 40LL << 1LL << 10LL << "^PgDown" << 1LL << 10LL;
        QTest::newRow("Ctrl+PgDown") << 1000LL << 1LL << 10LL << "^PgDown" << 1LL << 314LL;
        QTest::newRow("Ctrl+PgUp") << 1000LL << 1LL << 314LL << "^PgUp" << 1LL << 10LL;
        QTest::newRow("Up on the first row scrolls") << 1000LL << 33LL << 35LL << "Up" << 17LL << 19LL;
        QTest::newRow("Up at the top") << 1000LL << 1LL << 3LL << "Up" << 1LL << 3LL;
        QTest::newRow("Down on the last row scrolls") << 1000LL << 1LL << 310LL << "Down" << 17LL << 326LL;
        QTest::newRow("Down, short last page") << 1000LL << 961LL << 994LL << "Down" << 961LL << 994LL;
        QTest::newRow("Down into a short row settles") << 330LL << 1LL << 317LL << "Down" << 17LL << 329LL;
        QTest::newRow("Down past the data") << 40LL << 1LL << 30LL << "Down" << 1LL << 30LL;
        QTest::newRow("Right at the last byte") << 40LL << 1LL << 39LL << "Right" << 1LL << 39LL;
        QTest::newRow("Right wraps a row") << 1000LL << 1LL << 15LL << "Right" << 1LL << 16LL;
        QTest::newRow("Right at the page's end scrolls") << 1000LL << 1LL << 319LL << "Right" << 17LL << 320LL;
        QTest::newRow("Left wraps a row") << 1000LL << 1LL << 16LL << "Left" << 1LL << 15LL;
        QTest::newRow("Left at the page's start scrolls") << 1000LL << 17LL << 16LL << "Left" << 1LL << 15LL;
        QTest::newRow("Left at the first byte") << 1000LL << 1LL << 0LL << "Left" << 1LL << 0LL;
        QTest::newRow("Home") << 1000LL << 1LL << 37LL << "Home" << 1LL << 32LL;
        QTest::newRow("End") << 1000LL << 1LL << 37LL << "End" << 1LL << 47LL;
        QTest::newRow("End on a short row stays") << 40LL << 1LL << 32LL << "End" << 1LL << 32LL;
        QTest::newRow("Ctrl+End past 4 GiB") << (1LL << 32) + 1000 << 1LL << 0LL << "^End" << (1LL << 32) + 993 - 304 << (1LL << 32) + 999;
        // clang-format on
    }
    void moves() {
        const auto [length, page, cursor, key] =
            Row<qint64, qint64, qint64, QString>({"length", "page", "cursor", "key"});
        static const QHash<QString, Key> keys = {{"Left", Key::Left},   {"Right", Key::Right},
                                                 {"Up", Key::Up},       {"Down", Key::Down},
                                                 {"PgUp", Key::PageUp}, {"PgDown", Key::PageDown},
                                                 {"Home", Key::Home},   {"End", Key::End}};
        const bool ctrl = key.startsWith('^');
        const Navigation::View after =
            Navigation::Move({page, cursor + 1}, keys.value(key.mid(ctrl ? 1 : 0)), ctrl, length);
        QTEST(after.pageStart, "newPage");
        QTEST(after.position - 1, "newCursor");
        // Wherever it goes, the cursor is on the page and on the data.
        QVERIFY(after.position >= after.pageStart && after.position <= length &&
                Navigation::RowOf(after) < Navigation::Rows(after.pageStart, length));
    }

    void showPagesOnlyWhenNeeded() {
        // A byte on the page keeps it; another goes to the page paging would show it on.
        QCOMPARE(Navigation::Show({17, 20}, 300, 1000), (Navigation::View{17, 300}));
        QCOMPARE(Navigation::Show({17, 20}, 700, 1000), (Navigation::View{641, 700}));
        QCOMPARE(Navigation::Show({1, 20}, 990, 1000), (Navigation::View{689, 990}));
    }
};

QTEST_GUILESS_MAIN(NavigationTest)
#include "tst_navigation.moc"
