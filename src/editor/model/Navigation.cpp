#include "Navigation.h"

#include "Paging.h"

#include <algorithm>

namespace Navigation {

using namespace PageGeometry;

int Rows(qint64 pageStart, qint64 length) {
    const qint64 n = (length - pageStart) / BytesPerRow;
    return n < RowsPerPage ? static_cast<int>(std::max<qint64>(n, 1)) + 1 : RowsPerPage;
}

bool EndOfFile(qint64 pageStart, qint64 length) {
    return length - pageStart + 1 < qint64(Rows(pageStart, length)) * BytesPerRow;
}

namespace {

// The cursor as a cell of a page.
struct Cell {
    qint64 page;
    int row;
    int col;
};

bool Beyond(const Cell& at, qint64 length) {
    return at.page + qint64(BytesPerRow) * at.row + at.col > length;
}

// Moves to (row, col) of the page; a cell outside the page or past the data is refused and
// the cursor stays where it was (on the page it now shows).
Cell Enter(Cell from, int row, int col, qint64 length) {
    const int rows = Rows(from.page, length);
    if (row < 0 || col < 0 || col >= BytesPerRow || Beyond({from.page, row, col}, length)) {
        return from;
    }
    return {from.page, std::min(row, rows - 1), col};
}

// After the page moved: the cell, or when it lies past the data the nearest one before it
// (on its row or a row above, at its column or left of it).
Cell Settle(Cell at, qint64 length) {
    if (!Beyond(at, length)) {
        return Enter(at, at.row, at.col, length);
    }
    for (int r = at.row; r >= 0; --r) {
        for (int c = at.col; c >= 0; --c) {
            if (!Beyond({at.page, r, c}, length)) {
                return {at.page, std::min(r, Rows(at.page, length) - 1), c};
            }
        }
    }
    return at;
}

qint64 NextRow(qint64 page, qint64 length) {
    return Paging::NextLine(page, length, Rows(page, length), EndOfFile(page, length))
        .value_or(page);
}

} // namespace

View Move(View view, Key key, bool ctrl, qint64 length) {
    if (length < 1) {
        return view;
    }
    Cell at{view.pageStart, RowOf(view), ColumnOf(view)};
    const int rows = Rows(at.page, length);
    const bool lastRow = at.row + 1 >= rows;
    const bool moreData = at.page + qint64(BytesPerRow) * rows <= length;
    switch (key) {
    case Key::Down:
        if (!lastRow) {
            at = Enter(at, at.row + 1, at.col, length);
        } else if (moreData) {
            at.page = NextRow(at.page, length);
            at = Settle(at, length);
        }
        break;
    case Key::Up:
        if (at.row > 0) {
            at = Enter(at, at.row - 1, at.col, length);
        } else if (at.page > 1) {
            at.page = Paging::PreviousLine(at.page);
            at = Enter(at, at.row, at.col, length);
        }
        break;
    case Key::Left:
        if (at.col > 0) {
            at = Enter(at, at.row, at.col - 1, length);
        } else if (at.row > 0) {
            at = Enter(at, at.row - 1, BytesPerRow - 1, length);
        } else if (at.page > 1) {
            at.page = Paging::PreviousLine(at.page);
            at = Enter(at, 0, BytesPerRow - 1, length);
        }
        break;
    case Key::Right:
        if (at.col < BytesPerRow - 1) {
            at = Enter(at, at.row, at.col + 1, length);
        } else if (!lastRow) {
            at = Enter(at, at.row + 1, 0, length);
        } else if (moreData) {
            at.page = NextRow(at.page, length);
            at = Settle({at.page, at.row, 0}, length);
        }
        break;
    case Key::PageDown:
        if (ctrl) {
            at = Enter(at, rows - 1, at.col, length);
        } else {
            at.page = Paging::NextPage(at.page, length, rows, EndOfFile(at.page, length))
                          .value_or(at.page);
            at = Settle(at, length);
        }
        break;
    case Key::PageUp:
        if (ctrl) {
            at = Enter(at, 0, at.col, length);
        } else {
            at.page = Paging::PreviousPage(at.page).value_or(at.page);
            at = Enter(at, at.row, at.col, length);
        }
        break;
    case Key::Home:
        at = ctrl ? Cell{1, 0, 0} : Enter(at, at.row, 0, length);
        break;
    case Key::End:
        if (ctrl) {
            at = Settle({Paging::Last(length), rows - 1, BytesPerRow - 1}, length);
        } else {
            at = Enter(at, at.row, BytesPerRow - 1, length);
        }
        break;
    }
    return {at.page, at.page + qint64(BytesPerRow) * at.row + at.col};
}

View Show(View view, qint64 position, qint64 length) {
    const qint64 offset = position - view.pageStart;
    if (offset < 0 || offset >= qint64(Rows(view.pageStart, length)) * BytesPerRow) {
        view.pageStart = Paging::PageFor(position, length);
    }
    view.position = position;
    return view;
}

} // namespace Navigation
