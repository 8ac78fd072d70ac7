// Cell selection: the two cursors kept on the same cell, the markers, the information panel,
// the grids' scroll requests and the offset radix.
#include "frmEditor.h"

#include "ClickLabel.h"
#include "grid/Grid.h"
#include "model/CellText.h"
#include "widgets/PictureBox.h"

using namespace CellText;

void frmEditor::grid1_EnterCell(int Row, int Col) {
    if (ActivePane != 1) {
        return;
    }
    ShowCell(Row, Col, PicOffSet->y());
    grid2->SelectCell(Row, Col);
}

void frmEditor::grid2_EnterCell(int Row, int Col) {
    if (ActivePane != 2) {
        return;
    }
    ShowCell(Row, Col, PicText->y());
    grid1->SelectCell(Row, Col);
}

void frmEditor::ShowCell(int Row, int Col, int paneTop) {
    const int left = Label2[Col]->x() + 6;
    if (Sign[0]->x() != left) {
        Sign[0]->move(left, Sign[0]->y());
    }
    const int top = paneTop + 2 + RowHeight * Row;
    if (Sign[1]->y() != top) {
        Sign[1]->move(Sign[1]->x(), top);
    }
    const QString hex = grid1->Value(Row, Col);
    lblInfo[0]->setText(hex);
    lblInfo[1]->setText(QString::number(HexToByte(hex)));
    const qint64 offset = PageStart + qint64(BytesPerRow) * Row + Col - 1;
    lblInfo[2]->setText(QString::number(offset, 16).toUpper());
    lblInfo[3]->setText(QString::number(offset));
}

void frmEditor::grid1_RequestNextRow() {
    if (grid1->Rows() == RowsPerPage && PageStart < image_.Length()) {
        MoveNextLine();
    }
}

void frmEditor::grid1_RequestPreviousRow() {
    if (PageStart > 1) {
        MovePreviousLine();
    }
}

void frmEditor::lblSelect_Click() {
    if (!FileLoaded) {
        return;
    }
    if (lblSelect->text() == QLatin1String("OFFSET DEC")) {
        lblSelect->setText(QStringLiteral("OFFSET HEX"));
        OffsetHex = true;
    } else {
        lblSelect->setText(QStringLiteral("OFFSET DEC"));
        OffsetHex = false;
    }
    // The same rows as the page drawing: a row wholly past the end gets no offset.
    PicOffSet->Cls();
    DrawOffsets();
    for (int i = 0; i < BytesPerRow; ++i) {
        Label2[i]->setText(OffsetHex ? QStringLiteral("0") + QString::number(i, 16).toUpper()
                                     : QStringLiteral("%1").arg(i, 2, 10, QLatin1Char('0')));
    }
}
