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

View Move(View view, Key key, bool ctrl, qint64 length) {
    if (length < 1) {
        return view;
    }
    using GridMoves::Scroll;
    const GridMoves::Cell at{RowOf(view), ColumnOf(view)};
    const qint64 page = view.pageStart;
    const int rows = Rows(page, length);
    const std::optional<GridMoves::Step> step =
        GridMoves::Plan(key, ctrl, at, {page, rows, length});
    if (!step) {
        return view;
    }
    qint64 after = page;
    switch (step->scroll) {
    case Scroll::None:
        break;
    case Scroll::NextRow:
        after = Paging::NextLine(page, length, rows, EndOfFile(page, length)).value_or(page);
        break;
    case Scroll::PreviousRow:
        after = Paging::PreviousLine(page);
        break;
    case Scroll::NextPage:
        after = Paging::NextPage(page, length, rows, EndOfFile(page, length)).value_or(page);
        break;
    case Scroll::PreviousPage:
        after = Paging::PreviousPage(page).value_or(page);
        break;
    case Scroll::FirstPage:
        after = 1;
        break;
    case Scroll::LastPage:
        after = Paging::Last(length);
        break;
    }
    const GridMoves::Shown shown{after, Rows(after, length), length};
    const GridMoves::Cell landed = step->settle
                                       ? GridMoves::Settle(step->to, shown).value_or(step->to)
                                       : GridMoves::Enter(step->to, shown).value_or(at);
    return {after, after + qint64(BytesPerRow) * landed.row + landed.col};
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
