#pragma once

#include <QtGlobal>
#include <optional>

// Where the cursor of a virtual grid goes for each movement key: within the rows shown, and at
// their edges after asking its host to scroll (the grid's Request* events). The grid control
// and the Memory window's document both move by these rules; neither needs a screen for them.
namespace GridMoves {

constexpr int Columns = 16;

enum class Key { Left, Right, Up, Down, PageUp, PageDown, Home, End };

// What a key asks of the host before the cursor lands: the grid's Request* events.
enum class Scroll { None, NextRow, PreviousRow, NextPage, PreviousPage, FirstPage, LastPage };

struct Cell {
    int row = 0;
    int col = 0;
    bool operator==(const Cell&) const = default;
};

// The rows shown: pointer is the 1-based position of row 0, column 0, rows the rows shown,
// max the last position that holds data.
struct Shown {
    qint64 pointer = 1;
    int rows = 0;
    qint64 max = 0;
};

bool IsBeyondMax(const Shown& shown, Cell cell);

// One key: the scroll it asks for, then the cell the cursor lands on in the rows shown after
// it. settle: a cell past the data gives way to the nearest one before it; otherwise such a
// cell is refused and the cursor stays.
struct Step {
    Scroll scroll = Scroll::None;
    Cell to;
    bool settle = false;
};
// None when the key does nothing at all (no event).
std::optional<Step> Plan(Key key, bool ctrl, Cell at, const Shown& shown);

// The cursor entering to: its row kept to the rows shown; none when to lies outside the
// columns, above row 0 or past the data.
std::optional<Cell> Enter(Cell to, const Shown& shown);
// to, or when it lies past the data the nearest cell before it (on its row or a row above,
// at its column or left of it); none when there is none.
std::optional<Cell> Settle(Cell to, const Shown& shown);

} // namespace GridMoves
