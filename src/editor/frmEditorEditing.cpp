// Editing: bytes typed as two hex digits in the hex pane or as one character in the text
// pane, each written into the working image at once and kept as a step that Undo takes
// back and Redo does again; and which pane is active.
#include "frmEditor.h"

#include "ClickLabel.h"
#include "grid/Grid.h"
#include "model/CellText.h"
#include "platform/RuntimeError.h"
#include "widgets/PictureBox.h"

#include <QAction>
#include <QKeyEvent>

using namespace CellText;

namespace {

bool IsHexDigit(QChar c) {
    return (c >= QLatin1Char('0') && c <= QLatin1Char('9')) ||
           (c >= QLatin1Char('A') && c <= QLatin1Char('F'));
}

} // namespace

bool frmEditor::eventFilter(QObject* watched, QEvent* event) {
    // The picture box reports key-downs only for keys with a key code; a character such as
    // "!" or an accented letter comes without one, and must not find CtrlDown left over
    // from Ctrl+End.
    if (event->type() == QEvent::KeyPress && (watched == PicHex || watched == PicText)) {
        const auto* key = static_cast<QKeyEvent*>(event);
        Qt::KeyboardModifiers modifiers = key->modifiers();
        if (key->key() == Qt::Key_Control) {
            modifiers |= Qt::ControlModifier;
        } else if (key->key() == Qt::Key_Shift) {
            modifiers |= Qt::ShiftModifier;
        } else if (key->key() == Qt::Key_Alt) {
            modifiers |= Qt::AltModifier;
        }
        CtrlDown = (modifiers & (Qt::ControlModifier | Qt::ShiftModifier | Qt::AltModifier)) ==
                   Qt::ControlModifier;
    }
    return QWidget::eventFilter(watched, event);
}

void frmEditor::PicHex_KeyDown(int, int Shift) {
    CtrlDown = Shift == ShiftState::Ctrl;
}

void frmEditor::PicText_KeyDown(int, int Shift) {
    CtrlDown = Shift == ShiftState::Ctrl;
}

void frmEditor::PicHex_KeyPress(int& KeyAscii) {
    if (CtrlDown || !FileLoaded) {
        return;
    }
    const QChar ch =
        KeyAscii >= 'a' && KeyAscii <= 'z' ? QChar(KeyAscii - 'a' + 'A') : QChar(KeyAscii);
    const int R = grid1->Row();
    const int C = grid1->Col();
    const qint64 position = grid1->Pointer() + qint64(BytesPerRow) * R + C;
    if (IsHexDigit(ch)) {
        if (pending_.active && pending_.position == position) {
            // The second digit completes the byte: one step of the history.
            pending_.active = false;
            SaveData(R, C, HexToByte(QString(pending_.digit) + ch));
        } else {
            CompletePending();
            // The first digit replaces the whole cell and shows alone; nothing is written yet.
            SetHexCell(R, C, QString(ch));
            SetTextCell(R, C, ByteToText(HexToByte(QString(ch))));
            pending_ = {true, position, ch};
            UpdateEditActions();
        }
    } else if (KeyAscii == 13) {
        CompletePending();
    } else {
        KeyAscii = 0;
    }
}

void frmEditor::CompletePending() {
    if (!pending_.active) {
        return;
    }
    pending_.active = false;
    WriteByte(pending_.position, HexToByte(pending_.digit));
}

void frmEditor::grid1_LeaveCell(int, int) {
    // Whatever moves the cursor off a half-entered cell completes it.
    CompletePending();
}

void frmEditor::PicHex_LostFocus() {
    CompletePending();
}

void frmEditor::PicText_KeyPress(int& KeyAscii) {
    // Tab is the key that changes panes, not a byte to write.
    if (CtrlDown || KeyAscii == 0 || KeyAscii == 9 || !FileLoaded) {
        return;
    }
    SaveData(grid2->Row(), grid2->Col(), KeyAscii);
}

void frmEditor::SaveData(int R, int C, int value) {
    WriteByte(grid1->Pointer() + qint64(BytesPerRow) * R + C, value);
}

bool frmEditor::WriteByte(qint64 position, int value) {
    bool written = true;
    try {
        edits_.Write(position, static_cast<unsigned char>(value));
    } catch (const platform::RuntimeError& error) {
        ShowError(error);
        written = false;
    }
    ShowByte(position);
    UpdateEditActions();
    return written;
}

void frmEditor::UpdateEditActions() {
    mnuUndo->setEnabled(FileLoaded && (edits_.CanUndo() || pending_.active));
    mnuRedo->setEnabled(FileLoaded && edits_.CanRedo());
}

void frmEditor::mnuUndo_Click() {
    if (busy_ || !FileLoaded) {
        return;
    }
    if (pending_.active) {
        // A half-typed byte was never written: taking it back shows the byte again.
        pending_.active = false;
        ShowByte(pending_.position);
    } else {
        try {
            if (const std::optional<qint64> position = edits_.Undo()) {
                ShowPosition(*position);
            }
        } catch (const platform::RuntimeError& error) {
            ShowError(error);
        }
    }
    UpdateEditActions();
}

void frmEditor::mnuRedo_Click() {
    if (busy_ || !FileLoaded) {
        return;
    }
    CompletePending();
    try {
        if (const std::optional<qint64> position = edits_.Redo()) {
            ShowPosition(*position);
        }
    } catch (const platform::RuntimeError& error) {
        ShowError(error);
    }
    UpdateEditActions();
}

// ---- The active pane ----

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

void frmEditor::PicHex_GotFocus() {
    ActivePane = 1;
    grid2->SelectCell(grid1->Row(), grid1->Col());
    SetModeColours(1);
    ShowCell(grid1->Row(), grid1->Col(), PicOffSet->y());
}

void frmEditor::PicText_GotFocus() {
    ActivePane = 2;
    grid1->SelectCell(grid2->Row(), grid2->Col());
    ShowCell(grid2->Row(), grid2->Col(), PicText->y());
    SetModeColours(2);
}

void frmEditor::Form_KeyUp(int KeyCode, int) {
    if (KeyCode != KeyCode::Tab || !FileLoaded) {
        return;
    }
    if (ActivePane == 1) {
        PicText->setFocus(Qt::TabFocusReason);
    } else {
        PicHex->setFocus(Qt::TabFocusReason);
    }
}

void frmEditor::lblInfo_Click(int) {
    if (!FileLoaded) {
        return;
    }
    if (lblInfo[6]->palette().color(QPalette::WindowText) == palette().color(QPalette::Text)) {
        SetModeColours(1);
        if (PicHex->isEnabled()) {
            PicHex->setFocus(Qt::MouseFocusReason);
        }
    } else {
        SetModeColours(2);
        if (PicText->isEnabled()) {
            PicText->setFocus(Qt::MouseFocusReason);
        }
    }
}

void frmEditor::keyReleaseEvent(QKeyEvent* event) {
    // Releases in a pane reach Form_KeyUp through the pane; this catches a Tab released while
    // neither pane has the focus.
    if (focusWidget() != PicHex && focusWidget() != PicText && !event->isAutoRepeat() &&
        (event->key() == Qt::Key_Tab || event->key() == Qt::Key_Backtab)) {
        Form_KeyUp(KeyCode::Tab, 0);
        return;
    }
    QWidget::keyReleaseEvent(event);
}

bool frmEditor::focusNextPrevChild(bool) {
    // Tab changes panes on its release (Form_KeyUp), never on its press.
    return true;
}
