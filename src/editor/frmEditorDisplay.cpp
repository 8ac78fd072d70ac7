// The display: the page of the document in the offset, hex and text panes, the cursors and
// markers, the selection, the information panel and the menus' state.
#include "frmEditor.h"

#include "ClickLabel.h"
#include "grid/Grid.h"
#include "model/CellText.h"
#include "widgets/PictureBox.h"

#include <QAction>
#include <QFileInfo>
#include <QLabel>

using namespace CellText;

namespace {

bool SameSpan(const std::optional<EditorDocument::Span>& a,
              const std::optional<EditorDocument::Span>& b) {
    return a.has_value() == b.has_value() &&
           (!a || (a->position == b->position && a->length == b->length));
}

} // namespace

void frmEditor::DrawCell(int row, int col, int value, bool selected, bool differs) {
    // A cell is drawn on the pane's background, which the page's drawing cleared; inside
    // the selection its box is filled with the selection's colour first, and a byte that
    // differs from the file compared with is underlined in red (on a red box outside it).
    if (selected || differs) {
        const QColor highlight = palette().color(QPalette::Highlight).lighter(160);
        for (PictureBox* pane : {PicHex, PicText}) {
            Grid* grid = pane == PicHex ? grid1 : grid2;
            const QRect box(col * grid->CellWidth(), row * grid->CellHeight(), grid->CellWidth(),
                            grid->CellHeight());
            pane->FillBox(box, selected ? highlight : DifferenceBack);
            if (differs) {
                pane->FillBox(QRect(box.left(), box.bottom() - 1, box.width(), 2), DifferenceLine);
            }
        }
    }
    const std::optional<EditSession::Pending> pending = session_.PendingDigit();
    const qint64 position = drawnPage_ + qint64(BytesPerRow) * row + col;
    if (pending && pending->position == position) {
        // The first digit typed shows alone until the second completes the byte.
        grid1->SetValue(row, col, QString(pending->digit));
        grid2->SetValue(row, col, ByteToText(HexToByte(QString(pending->digit))));
        return;
    }
    grid1->SetValue(row, col, ByteToHex(value));
    grid2->SetValue(row, col, ByteToText(value));
}

void frmEditor::FillGrid() {
    if (ending_ || !document_.Image().IsOpen()) {
        return;
    }
    const qint64 length = document_.Length();
    drawnPage_ = session_.View().pageStart;
    drawnLength_ = length;
    drawnSelection_ = session_.Selection();
    changed_ = false;
    const int rows = Navigation::Rows(drawnPage_, length);
    grid1->SetPointer(drawnPage_);
    grid2->SetPointer(drawnPage_);
    grid1->SetMax(length);
    grid2->SetMax(length);
    // Every redraw starts from clean panes, so nothing of the last page shows through.
    PicHex->Cls();
    PicOffSet->Cls();
    PicText->Cls();
    grid1->SetRows(rows);
    grid2->SetRows(rows);

    // The rows on screen in one positioned read, and as many of the file compared with.
    char page[BytesPerPage];
    char theirs[BytesPerPage];
    const qint64 got = document_.Read(drawnPage_, page, qint64(rows) * BytesPerRow);
    const qint64 compared = std::min(got, session_.ReadCompared(drawnPage_, theirs, got));
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < BytesPerRow; ++c) {
            const int i = r * BytesPerRow + c;
            const qint64 position = drawnPage_ + i;
            const bool selected = drawnSelection_ && position >= drawnSelection_->position &&
                                  position < drawnSelection_->position + drawnSelection_->length;
            DrawCell(r, c, i < got ? static_cast<unsigned char>(page[i]) : -1, selected && i < got,
                     i < compared && page[i] != theirs[i]);
        }
    }
    PicHex->Refresh();
    PicText->Refresh();
    DrawOffsets();
    lblInfo[4]->setText(PageLabel(length, drawnPage_, LangText[0]));
    grid1->Refresh();
}

void frmEditor::DrawOffsets() {
    for (int r = 0; r < grid1->Rows(); ++r) {
        if (drawnPage_ + qint64(BytesPerRow) * r > drawnLength_) {
            break;
        }
        PicOffSet->TextOut(
            3, 3 + r * RowHeight,
            FormatOffset(document_.OffsetOf(drawnPage_ + qint64(BytesPerRow) * r), OffsetHex));
    }
    PicOffSet->Refresh();
}

void frmEditor::ShowDocument() {
    if (ending_ || !document_.Loaded()) {
        return;
    }
    // The page is drawn again only when what it shows changed: another page, an edit, an
    // undo, a selection that grew or shrank.
    if (changed_ || session_.View().pageStart != drawnPage_ || document_.Length() != drawnLength_ ||
        !SameSpan(session_.Selection(), drawnSelection_)) {
        FillGrid();
    }
    ShowCursor();
    if (fieldsVersion_ != version_) {
        ShowFields();
    }
    UpdateActions();
    ShowTitle();
    // The file the document is now (a Save As, also one offered after a failed save, moves it).
    if (Label7->text() != document_.SourceName()) {
        Label7->setText(document_.SourceName());
        Label7->setToolTip(document_.SourceName());
    }
}

void frmEditor::ShowCursor() {
    const Navigation::View& view = session_.View();
    const int row = Navigation::RowOf(view);
    const int col = Navigation::ColumnOf(view);
    syncing_ = true;
    grid1->SelectCell(row, col);
    grid2->SelectCell(row, col);
    syncing_ = false;
    ShowPanel();
}

void frmEditor::ShowPanel() {
    const Navigation::View& view = session_.View();
    const int row = Navigation::RowOf(view);
    const int col = Navigation::ColumnOf(view);
    const int paneTop =
        session_.ActivePane() == EditSession::Pane::Text ? PicText->y() : PicOffSet->y();
    const int left = Label2[col]->x() + 6;
    if (Sign[0]->x() != left) {
        Sign[0]->move(left, Sign[0]->y());
    }
    const int top = paneTop + 2 + RowHeight * row;
    if (Sign[1]->y() != top) {
        Sign[1]->move(Sign[1]->x(), top);
    }
    const QString hex = grid1->Value(row, col);
    lblInfo[0]->setText(hex);
    lblInfo[1]->setText(QString::number(HexToByte(hex)));
    const qint64 offset = document_.OffsetOf(view.position);
    lblInfo[2]->setText(QString::number(offset, 16).toUpper());
    lblInfo[3]->setText(QString::number(offset));
    ShowSelection();
    ShowInspector();
}

void frmEditor::ShowSelection() {
    const std::optional<EditorDocument::Span> span = session_.Selection();
    if (!span) {
        lblSelection_->clear();
        return;
    }
    QString text = tr("Start %1\nLength %2")
                       .arg(document_.OffsetText(document_.OffsetOf(span->position)))
                       .arg(span->length);
    // Figured again only when the selection or the bytes changed; a large selection once it
    // has stayed as it is a moment (a key held down does not figure every step of it).
    // (A stopped figuring counts too: it is not started again until the selection changes.)
    const bool current = SameSpan(span, sumsSpan_) && sumsVersion_ == version_;
    if (!current && span->length <= QuickSumsBytes) {
        sums_ = session_.SelectionSums();
        sumsSpan_ = span;
        sumsVersion_ = version_;
    } else if (!current) {
        sums_.reset();
        sumsSpan_.reset();
        sumsTimer_->start();
    }
    if (const std::optional<EditSession::Sums>& sums = sums_) {
        text += tr("\nCRC-32 %1\nSum %2h")
                    .arg(QStringLiteral("%1").arg(sums->crc, 8, 16, QLatin1Char('0')).toUpper(),
                         QStringLiteral("%1").arg(sums->sum, 4, 16, QLatin1Char('0')).toUpper());
    }
    lblSelection_->setText(text);
}

void frmEditor::UpdateActions() {
    const bool loaded = document_.Loaded();
    for (QAction* action : {mnuSave_, mnuSaveAs_, mnuCompare_, mnuCopy_, mnuPaste_, mnuSelectAll_,
                            mnuFind_, mnuFindNext_, mnuFindPrevious_, mnuGoTo_}) {
        action->setEnabled(loaded);
    }
    mnuUndo_->setEnabled(session_.CanUndo());
    mnuRedo_->setEnabled(session_.CanRedo());
    mnuFill_->setEnabled(loaded && session_.Selection().has_value());
    mnuNextDifference_->setEnabled(loaded && session_.Comparing());
    mnuPreviousDifference_->setEnabled(loaded && session_.Comparing());
    if (mnuUpdateChecksums_) {
        mnuUpdateChecksums_->setEnabled(loaded && fields_.Loaded());
        for (QAction* action : {mnuToggleBookmark_, mnuNextBookmark_, mnuPreviousBookmark_}) {
            action->setEnabled(loaded);
        }
    }
}

void frmEditor::ShowOpened() {
    PicHex->setEnabled(true);
    PicText->setEnabled(true);
    Shape1->SetVisible(true);
    Shape2->SetVisible(true);
    Sign[0]->show();
    Sign[1]->show();
    lblSelect->setEnabled(true);
    lblInfo[5]->setText(QString::number(document_.Length()));
    lblInfo[8]->setText(QString::number(BytesPerPage));
    if (document_.OffsetHex() != OffsetHex) {
        SetRadix(document_.OffsetHex()); // records at addresses above zero
    }
    PanelsOpened();
    ShowDocument();
    PicHex->setFocus();
}

void frmEditor::ShowNoFile() {
    // The working image is gone: back to the state before any open.
    UpdateActions();
    PicHex->setEnabled(false);
    PicText->setEnabled(false);
    Shape1->SetVisible(false);
    Shape2->SetVisible(false);
    Sign[0]->hide();
    Sign[1]->hide();
    for (PictureBox* box : {PicOffSet, PicHex, PicText}) {
        box->Cls();
        box->Refresh();
    }
    Label7->clear();
    Label7->setToolTip(QString());
    lblInfo[4]->setText(QStringLiteral("0 ") + LangText[0] + QStringLiteral(" 0"));
    lblInfo[5]->setText(QStringLiteral("0 Bytes"));
    lblSelection_->clear();
    PanelsClosed();
    ShowTitle();
}

void frmEditor::ShowTitle() {
    QString title = caption_;
    if (document_.Loaded()) {
        title = QFileInfo(document_.SourceName()).fileName() + QStringLiteral(" - ") + caption_;
        if (document_.Modified() || session_.PendingDigit()) {
            title.prepend(QLatin1Char('*'));
        }
    }
    if (windowTitle() != title) {
        setWindowTitle(title);
    }
}

void frmEditor::SetModeColours(int pane) {
    // The label of the pane that is not active shows its name; the active one stays blank.
    const QColor background = palette().color(QPalette::Base);
    const QColor text = palette().color(QPalette::Text);
    const auto colour = [&](ClickLabel* label, const QColor& fore) {
        QPalette p = label->palette();
        p.setColor(QPalette::WindowText, fore);
        p.setColor(QPalette::Window, background);
        label->setPalette(p);
    };
    colour(lblInfo[6], pane == 2 ? text : background);
    colour(lblInfo[7], pane == 1 ? text : background);
}
