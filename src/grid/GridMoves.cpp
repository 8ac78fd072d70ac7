#include "GridMoves.h"

#include <algorithm>

namespace GridMoves {

bool IsBeyondMax(const Shown& shown, Cell cell) {
    return shown.pointer + qint64(Columns) * cell.row + cell.col > shown.max;
}

std::optional<Cell> Enter(Cell to, const Shown& shown) {
    if (to.row < 0 || to.col < 0 || to.col >= Columns || IsBeyondMax(shown, to)) {
        return std::nullopt;
    }
    return Cell{std::min(to.row, shown.rows - 1), to.col};
}

std::optional<Cell> Settle(Cell to, const Shown& shown) {
    if (!IsBeyondMax(shown, to)) {
        return Enter(to, shown);
    }
    for (int r = to.row; r >= 0; --r) {
        for (int c = to.col; c >= 0; --c) {
            if (!IsBeyondMax(shown, {r, c})) {
                return Cell{std::min(r, shown.rows - 1), c};
            }
        }
    }
    return std::nullopt;
}

std::optional<Step> Plan(Key key, bool ctrl, Cell at, const Shown& shown) {
    const bool lastRow = at.row + 1 >= shown.rows;
    const bool moreData = shown.pointer + qint64(Columns) * shown.rows <= shown.max;
    const bool dataBefore = shown.pointer > 1;
    switch (key) {
    case Key::Down:
        if (!lastRow) {
            return Step{Scroll::None, {at.row + 1, at.col}, false};
        }
        if (moreData) {
            return Step{Scroll::NextRow, at, true};
        }
        break;
    case Key::Up:
        if (at.row > 0) {
            return Step{Scroll::None, {at.row - 1, at.col}, false};
        }
        if (dataBefore) {
            return Step{Scroll::PreviousRow, at, false};
        }
        break;
    case Key::Left:
        if (at.col > 0) {
            return Step{Scroll::None, {at.row, at.col - 1}, false};
        }
        if (at.row > 0) {
            return Step{Scroll::None, {at.row - 1, Columns - 1}, false};
        }
        if (dataBefore) {
            return Step{Scroll::PreviousRow, {0, Columns - 1}, false};
        }
        break;
    case Key::Right:
        if (at.col < Columns - 1) {
            return Step{Scroll::None, {at.row, at.col + 1}, false};
        }
        if (!lastRow) {
            return Step{Scroll::None, {at.row + 1, 0}, false};
        }
        if (moreData) {
            return Step{Scroll::NextRow, {at.row, 0}, true};
        }
        break;
    case Key::PageDown:
        return ctrl ? Step{Scroll::None, {shown.rows - 1, at.col}, false}
                    : Step{Scroll::NextPage, at, true};
    case Key::PageUp:
        return ctrl ? Step{Scroll::None, {0, at.col}, false}
                    : Step{Scroll::PreviousPage, at, false};
    case Key::Home:
        return ctrl ? Step{Scroll::FirstPage, {0, 0}, false}
                    : Step{Scroll::None, {at.row, 0}, false};
    case Key::End:
        return ctrl ? Step{Scroll::LastPage, {shown.rows - 1, Columns - 1}, true}
                    : Step{Scroll::None, {at.row, Columns - 1}, false};
    }
    return std::nullopt;
}

} // namespace GridMoves
