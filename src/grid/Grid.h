#pragma once

#include "GridMoves.h"

#include <QObject>
#include <QString>
#include <QVector>

class PictureBox;
class MarkerShape;

// A virtual grid of 16 columns over a picture box: it draws cell texts, keeps a cursor
// cell under a marker shape, moves it with the keys (by GridMoves' rules) and the mouse, and
// asks its host to scroll when the cursor leaves the rows on screen. The host owns the data: it
// keeps Pointer on the first position shown and refills the cells when asked.
class Grid : public QObject {
    Q_OBJECT

public:
    static constexpr int Columns = GridMoves::Columns;
    static constexpr int GeometryRows = 20;

    explicit Grid(QObject* parent = nullptr);

    void InitializeGrid(PictureBox* PicCtl, MarkerShape* ChildCtl);
    void Refresh();
    void Reset();
    void SelectCell(int RowIndex, int ColIndex);

    // Cell texts; a cell past Max holds "-1" and is not drawn. Outside 0..Rows, 0..15
    // throws platform::RuntimeError 9 (subscript out of range).
    QString Value(int RowIndex, int ColIndex) const;
    void SetValue(int RowIndex, int ColIndex, const QString& newData);

    int Row() const { return row_; }
    void SetRow(int newData);
    int Col() const { return col_; }
    void SetCol(int newData);
    int Rows() const { return rows_; }
    void SetRows(int newData);
    qint64 Pointer() const { return pointer_; }
    void SetPointer(qint64 newData) { pointer_ = newData; }
    qint64 Max() const { return max_; }
    void SetMax(qint64 newData) { max_ = newData; }
    bool HasFocus() const { return hasFocus_; }
    // The host moves the cursor for the movement keys itself (and sets it with SelectCell);
    // the grid then leaves the keys alone.
    void SetHostMovesCursor(bool on) { hostMovesCursor_ = on; }

    int CellWidth() const { return cellWidth_; }
    int CellHeight() const { return cellHeight_; }

signals:
    void EnterCell(int Row, int Col);
    void RequestNextRow();
    void RequestPreviousRow();
    void RequestNextPage();
    void RequestPreviousPage();
    void RequestBOF();
    void RequestEOF();
    // Raised for each cell the cursor leaves, whatever moves it, before the EnterCell of the
    // move. A key action reports its cell once, also when the host moves the cursor while
    // it scrolls.
    void LeaveCell(int OldRow, int OldCol);
    void Click();

private:
    void DrawCell(int r, int c);
    void MoveTo(int r, int c);
    bool ClampToMax(int r, int c);
    bool IsBeyondMax(int r, int c) const;

    GridMoves::Shown Shown() const;
    void PlaceMarker();
    int LeftRow() const;

    void Pic_KeyDown(int keyCode, int shift);
    void Pic_MouseDown(int button, int shift, int x, int y);
    void Pic_GotFocus();
    void Pic_LostFocus();

    PictureBox* Pic = nullptr;
    MarkerShape* Marker = nullptr;
    int cellWidth_ = 0;
    int cellHeight_ = 0;
    int oldCol_ = 0;
    int oldRow_ = 0;
    bool leaveRaised_ = false;
    bool inKeyAction_ = false;
    int row_ = 0;
    int col_ = 0;
    int rows_ = 0;
    QVector<QString> values_; // (Rows + 1) x 16, row-major
    qint64 pointer_ = 0;
    qint64 max_ = 0;
    bool hasFocus_ = false;
    bool hostMovesCursor_ = false;
};
