// The page display: offsets, hex and text of the 20 rows at PageStart.
#include "frmEditor.h"

#include "ClickLabel.h"
#include "grid/Grid.h"
#include "model/CellText.h"
#include "model/Paging.h"
#include "platform/RuntimeError.h"
#include "widgets/PictureBox.h"

using namespace CellText;

void frmEditor::FillGrid() {
    Yield();
    if (ending_ || !image_.IsOpen()) {
        return;
    }
    CompletePending();
    const qint64 length = image_.Length();
    grid1->SetPointer(PageStart);
    grid2->SetPointer(PageStart);
    qint64 n = (length - PageStart) / BytesPerRow;
    int rows = RowsPerPage;
    if (n < RowsPerPage) {
        if (n < 1) {
            n = 1;
        }
        rows = static_cast<int>(n) + 1;
    }
    // Every redraw starts from clean panes, so nothing of the last page shows through.
    PicHex->Cls();
    PicOffSet->Cls();
    PicText->Cls();
    grid1->SetRows(rows);
    grid2->SetRows(rows);

    // The rows on screen in one positioned read.
    char page[BytesPerPage];
    qint64 got = 0;
    try {
        got = image_.ReadAt(PageStart, page, qint64(rows) * BytesPerRow);
    } catch (const platform::RuntimeError& error) {
        ShowError(error);
    }
    endOfFile_ = got < qint64(rows) * BytesPerRow;
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < BytesPerRow; ++c) {
            const int i = r * BytesPerRow + c;
            const int value = i < got ? static_cast<unsigned char>(page[i]) : -1;
            grid1->SetValue(r, c, ByteToHex(value));
            grid2->SetValue(r, c, ByteToText(value));
        }
    }
    PicHex->Refresh();
    PicText->Refresh();
    DrawOffsets();
    lblInfo[4]->setText(PageLabel(length, PageStart, LangText[0]));
    grid1->Refresh();
}

void frmEditor::DrawOffsets() {
    for (int r = 0; r < grid1->Rows(); ++r) {
        if (IsPastEnd(r, 0)) {
            break;
        }
        PicOffSet->TextOut(3, 3 + r * RowHeight,
                           FormatOffset(grid1->Pointer() - 1 + qint64(BytesPerRow) * r, OffsetHex));
    }
    PicOffSet->Refresh();
}

bool frmEditor::IsPastEnd(int row, int col) const {
    return PageStart + qint64(BytesPerRow) * row + col > image_.Length();
}

void frmEditor::SetHexCell(int R, int C, const QString& text) {
    // A cell is drawn without its background: clear it first so no old digit shows.
    PicHex->FillBox(QRect(C * grid1->CellWidth(), R * grid1->CellHeight(), grid1->CellWidth(),
                          grid1->CellHeight()),
                    PicHex->BackColor());
    grid1->SetValue(R, C, text);
    PicHex->Refresh();
}

void frmEditor::SetTextCell(int R, int C, const QString& text) {
    PicText->FillBox(QRect(C * grid2->CellWidth(), R * grid2->CellHeight(), grid2->CellWidth(),
                           grid2->CellHeight()),
                     PicText->BackColor());
    grid2->SetValue(R, C, text);
    PicText->Refresh();
}

void frmEditor::ShowByte(qint64 position) {
    const qint64 offset = position - PageStart;
    const int R = static_cast<int>(offset / BytesPerRow);
    const int C = static_cast<int>(offset % BytesPerRow);
    if (offset < 0 || R >= grid1->Rows() || !image_.IsOpen()) {
        return;
    }
    char byte = 0;
    int value = -1;
    try {
        if (image_.ReadAt(position, &byte, 1) == 1) {
            value = static_cast<unsigned char>(byte);
        }
    } catch (const platform::RuntimeError& error) {
        ShowError(error);
    }
    SetHexCell(R, C, ByteToHex(value));
    SetTextCell(R, C, ByteToText(value));
    if (R == grid1->Row() && C == grid1->Col()) {
        lblInfo[0]->setText(grid1->Value(R, C));
        lblInfo[1]->setText(QString::number(HexToByte(grid1->Value(R, C))));
    }
}

void frmEditor::ShowPosition(qint64 position) {
    const qint64 offset = position - PageStart;
    if (offset < 0 || offset >= qint64(grid1->Rows()) * BytesPerRow) {
        MovePage(Paging::PageFor(position, image_.Length()));
    } else {
        ShowByte(position);
    }
    const int R = static_cast<int>((position - PageStart) / BytesPerRow);
    const int C = static_cast<int>((position - PageStart) % BytesPerRow);
    // The active pane's cursor moves, and the other follows it.
    if (ActivePane == 2) {
        grid2->SelectCell(R, C);
    } else {
        grid1->SelectCell(R, C);
        if (ActivePane == 0) {
            grid2->SelectCell(R, C);
            ShowCell(R, C, PicOffSet->y());
        }
    }
}

qint64 frmEditor::CursorPosition() const {
    return grid1->Pointer() + qint64(BytesPerRow) * grid1->Row() + grid1->Col();
}
