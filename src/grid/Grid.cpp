#include "Grid.h"

#include "GridMoves.h"
#include "platform/RuntimeError.h"
#include "widgets/PictureBox.h"

#include <algorithm>
#include <cmath>

namespace {

[[noreturn]] void SubscriptOutOfRange() {
    throw platform::RuntimeError(9, QStringLiteral("Subscript out of range"));
}

} // namespace

Grid::Grid(QObject* parent) : QObject(parent), values_(Columns) {}

void Grid::InitializeGrid(PictureBox* PicCtl, MarkerShape* ChildCtl) {
    if (Pic != nullptr) {
        disconnect(Pic, nullptr, this, nullptr);
    }
    Pic = PicCtl;
    Marker = ChildCtl;
    SetCol(0);
    SetRow(0);
    // The picture box measures in pixels. A box too small for a pixel per cell still gets
    // one, so that a click never divides by zero.
    cellHeight_ = std::max(1, Pic->ScaleHeight() / GeometryRows);
    cellWidth_ = std::max(1, Pic->ScaleWidth() / Columns);
    Marker->Move(0, 0, cellWidth_, cellHeight_);
    // The box may hold the focus already; its marker has to say so.
    hasFocus_ = Pic->Focused();
    Marker->SetDrawMode(hasFocus_ ? MarkerShape::vbInvert : MarkerShape::vbMaskPen);

    // Connected before the host's own handlers, so the grid has moved when they run.
    connect(Pic, &PictureBox::KeyDown, this, &Grid::Pic_KeyDown);
    connect(Pic, &PictureBox::MouseDown, this, &Grid::Pic_MouseDown);
    connect(Pic, &PictureBox::GotFocus, this, &Grid::Pic_GotFocus);
    connect(Pic, &PictureBox::LostFocus, this, &Grid::Pic_LostFocus);
    connect(Pic, &PictureBox::Click, this, &Grid::Click);
}

void Grid::Refresh() {
    if (rows_ >= 1) {
        ClampToMax(row_, col_);
    }
}

void Grid::Reset() {
    if (rows_ < 1) {
        return;
    }
    if (IsBeyondMax(0, 0)) {
        // Nothing to show: the cursor waits at the origin, without events.
        row_ = col_ = oldRow_ = oldCol_ = 0;
        PlaceMarker();
        return;
    }
    MoveTo(0, 0);
}

void Grid::SelectCell(int RowIndex, int ColIndex) {
    if (rows_ >= 1) {
        MoveTo(RowIndex, ColIndex);
    }
}

QString Grid::Value(int RowIndex, int ColIndex) const {
    if (RowIndex < 0 || RowIndex > rows_ || ColIndex < 0 || ColIndex >= Columns) {
        SubscriptOutOfRange();
    }
    return values_[RowIndex * Columns + ColIndex];
}

void Grid::SetValue(int RowIndex, int ColIndex, const QString& newData) {
    if (RowIndex < 0 || RowIndex > rows_ || ColIndex < 0 || ColIndex >= Columns) {
        SubscriptOutOfRange();
    }
    values_[RowIndex * Columns + ColIndex] = newData;
    DrawCell(RowIndex, ColIndex);
}

void Grid::SetRow(int newData) {
    oldRow_ = std::max(0, std::min(row_, rows_ - 1));
    row_ = newData;
}

void Grid::SetCol(int newData) {
    oldCol_ = col_;
    col_ = newData;
}

void Grid::SetRows(int newData) {
    if (newData < 0) {
        SubscriptOutOfRange();
    }
    rows_ = newData;
    // Rows 0..Rows: one more than shown, for the row that follows the page.
    values_ = QVector<QString>((newData + 1) * Columns);
}

void Grid::DrawCell(int r, int c) {
    QString& text = values_[r * Columns + c];
    if (IsBeyondMax(r, c)) {
        text = QStringLiteral("-1");
        return;
    }
    if (Pic == nullptr) {
        return;
    }
    const double w = Pic->TextWidth(text);
    const double h = Pic->TextHeight(QStringLiteral("ql"));
    // Centred in the cell; halves round to even, the default rounding mode.
    const double x = c * cellWidth_ + cellWidth_ / 2.0 - w / 2.0;
    const double y = cellHeight_ / 2.0 - h / 2.0 + r * cellHeight_;
    Pic->TextOut(static_cast<int>(std::nearbyint(x)), static_cast<int>(std::nearbyint(y)), text);
}

void Grid::MoveTo(int r, int c) {
    // A cell outside the grid is refused like one past the data.
    if (r < 0 || c < 0 || c >= Columns || IsBeyondMax(r, c)) {
        row_ = oldRow_;
        col_ = oldCol_;
        return;
    }
    // One key action reports the cell it leaves once, however often the host moves the
    // cursor while it scrolls; every other move reports its own.
    if (!leaveRaised_) {
        leaveRaised_ = inKeyAction_;
        emit LeaveCell(LeftRow(), oldCol_);
    }
    SetRow(std::min(r, rows_ - 1));
    SetCol(c);
    PlaceMarker();
    // Whatever moved the cursor, the next move leaves this cell and a refused move comes
    // back to it; the property writes alone would keep the cell before it after SelectCell.
    oldRow_ = row_;
    oldCol_ = col_;
    emit EnterCell(row_, col_);
}

bool Grid::ClampToMax(int r, int c) {
    if (!IsBeyondMax(r, c)) {
        return false;
    }
    if (r < 0) {
        return true;
    }
    for (int i = r; i >= 0; --i) {
        for (int j = c; j >= 0; --j) {
            if (!IsBeyondMax(i, j)) {
                MoveTo(i, j);
                return true;
            }
        }
    }
    return true;
}

bool Grid::IsBeyondMax(int r, int c) const {
    return GridMoves::IsBeyondMax(Shown(), {r, c});
}

GridMoves::Shown Grid::Shown() const {
    return {pointer_, rows_, max_};
}

int Grid::LeftRow() const {
    return std::max(0, std::min(oldRow_, rows_ - 1));
}

void Grid::PlaceMarker() {
    if (Marker != nullptr) {
        Marker->Move(col_ * cellWidth_, row_ * cellHeight_, cellWidth_, cellHeight_);
    }
}

void Grid::Pic_KeyDown(int keyCode, int shift) {
    if (Marker == nullptr || rows_ < 1 || hostMovesCursor_) {
        return;
    }
    using GridMoves::Key;
    using GridMoves::Scroll;
    // The movement keys, from KeyCode::PageUp (33) to KeyCode::Down (40).
    static constexpr Key movementKeys[] = {Key::PageUp, Key::PageDown, Key::End,   Key::Home,
                                           Key::Left,   Key::Up,       Key::Right, Key::Down};
    if (keyCode < KeyCode::PageUp || keyCode > KeyCode::Down) {
        return;
    }
    const Key key = movementKeys[keyCode - KeyCode::PageUp];
    const std::optional<GridMoves::Step> step =
        GridMoves::Plan(key, shift == ShiftState::Ctrl, {row_, col_}, Shown());
    if (!step) {
        return;
    }
    // The action ends however it ends, a host handler's error included.
    struct KeyAction {
        Grid& grid;
        explicit KeyAction(Grid& g) : grid(g) {
            grid.inKeyAction_ = true;
            grid.leaveRaised_ = false;
        }
        ~KeyAction() {
            grid.inKeyAction_ = false;
            grid.leaveRaised_ = false;
        }
    } action(*this);
    if (step->scroll != Scroll::None) {
        // In the order of GridMoves::Scroll.
        static constexpr void (Grid::*events[])() = {nullptr,
                                                     &Grid::RequestNextRow,
                                                     &Grid::RequestPreviousRow,
                                                     &Grid::RequestNextPage,
                                                     &Grid::RequestPreviousPage,
                                                     &Grid::RequestBOF,
                                                     &Grid::RequestEOF};
        // To the ends of the data the cursor goes first: the host pages with it there.
        if (step->scroll == Scroll::FirstPage || step->scroll == Scroll::LastPage) {
            row_ = step->to.row;
            col_ = step->to.col;
        }
        leaveRaised_ = true;
        emit LeaveCell(LeftRow(), oldCol_);
        if (hasFocus_) {
            emit(this->*events[static_cast<int>(step->scroll)])();
        }
    }
    // Landed on the rows shown now, which the host may have moved.
    if (!step->settle || !ClampToMax(step->to.row, step->to.col)) {
        MoveTo(step->to.row, step->to.col);
    }
}

void Grid::Pic_MouseDown(int, int, int x, int y) {
    hasFocus_ = true;
    if (Marker == nullptr || rows_ < 1) {
        return;
    }
    // A click below the last row or right of the last column lands in the nearest cell.
    const int r = std::clamp(y / cellHeight_, 0, rows_ - 1);
    const int c = std::clamp(x / cellWidth_, 0, Columns - 1);
    if (ClampToMax(r, c)) {
        return;
    }
    if (r == row_ && c == col_) {
        return;
    }
    row_ = r;
    col_ = c;
    MoveTo(row_, col_);
}

void Grid::Pic_GotFocus() {
    Marker->SetDrawMode(MarkerShape::vbInvert);
    hasFocus_ = true;
}

void Grid::Pic_LostFocus() {
    Marker->SetDrawMode(MarkerShape::vbMaskPen);
    hasFocus_ = false;
}
