#pragma once

#include "PageGeometry.h"
#include "grid/GridMoves.h"

#include <QtGlobal>

// Where the editor's cursor and page go for each movement key, the same in both panes: the
// grid's moves (GridMoves), with the page moved by a row or a page where the grid asks its
// host to scroll, never past the data. A cell past the end of the data is never entered; a
// move that would enter one does nothing.
namespace Navigation {

using Key = GridMoves::Key;

struct View {
    qint64 pageStart = 1; // 1-based position of the byte at row 0, column 0
    qint64 position = 1;  // 1-based position of the cursor's byte
    bool operator==(const View&) const = default;
};

// The rows the page at pageStart shows of length bytes: 20, or near the end the rows
// up to the last byte and one more (at least two).
int Rows(qint64 pageStart, qint64 length);
// The page's last row is read short (the data end on it or before it).
bool EndOfFile(qint64 pageStart, qint64 length);

// The view after key (with Ctrl when ctrl) in length bytes.
View Move(View view, Key key, bool ctrl, qint64 length);

// The view that shows position: the same page when it shows it, else the page paging
// from the start would show it on.
View Show(View view, qint64 position, qint64 length);

// The cursor's row and column on its page.
inline int RowOf(const View& view) {
    return static_cast<int>((view.position - view.pageStart) / PageGeometry::BytesPerRow);
}
inline int ColumnOf(const View& view) {
    return static_cast<int>((view.position - view.pageStart) % PageGeometry::BytesPerRow);
}

} // namespace Navigation
