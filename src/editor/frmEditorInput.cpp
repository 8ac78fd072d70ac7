// Input: the keys, clicks and drags in the panes, passed to the document, and which pane is
// active. Bytes typed in the hex pane as two hex digits, in the text pane as one character.
#include "frmEditor.h"

#include "ClickLabel.h"
#include "grid/Grid.h"
#include "widgets/PictureBox.h"

#include <QKeyEvent>
#include <QLabel>
#include <algorithm>

using Pane = EditSession::Pane;

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

void frmEditor::Pane_KeyDown(int keyCode, int shift) {
    CtrlDown = shift == ShiftState::Ctrl;
    if (!Ready()) {
        return;
    }
    using Key = Navigation::Key;
    Key key;
    switch (keyCode) {
    case KeyCode::Left:
        key = Key::Left;
        break;
    case KeyCode::Right:
        key = Key::Right;
        break;
    case KeyCode::Up:
        key = Key::Up;
        break;
    case KeyCode::Down:
        key = Key::Down;
        break;
    case KeyCode::PageUp:
        key = Key::PageUp;
        break;
    case KeyCode::PageDown:
        key = Key::PageDown;
        break;
    case KeyCode::Home:
        key = Key::Home;
        break;
    case KeyCode::End:
        key = Key::End;
        break;
    default:
        return;
    }
    const bool hadPending = session_.PendingDigit().has_value();
    session_.Move(key, (shift & ShiftState::Ctrl) != 0, (shift & ShiftState::Shift) != 0);
    if (hadPending) {
        BytesChanged();
    }
    ShowDocument();
}

void frmEditor::PicHex_KeyPress(int& KeyAscii) {
    if (CtrlDown || !Ready()) {
        return;
    }
    const QChar ch(KeyAscii);
    if (session_.TypeHexDigit(ch)) {
        BytesChanged();
        ShowDocument();
    } else if (KeyAscii == 13) {
        session_.CompletePending();
        BytesChanged();
        ShowDocument();
    } else {
        KeyAscii = 0;
    }
}

void frmEditor::PicText_KeyPress(int& KeyAscii) {
    // Tab is the key that changes panes, not a byte to write.
    if (CtrlDown || KeyAscii == 0 || KeyAscii == 9 || !Ready()) {
        return;
    }
    session_.TypeByte(static_cast<unsigned char>(KeyAscii));
    BytesChanged();
    ShowDocument();
}

void frmEditor::Pane_Mouse(PictureBox* pane, int shift, int x, int y, bool drag) {
    if (!Ready()) {
        return;
    }
    // A click or a drag lands in the nearest cell of the data; a drag past the top or the
    // bottom of the pane pages on, so a selection can span pages.
    Grid* grid = pane == PicHex ? grid1 : grid2;
    const int rows = grid->Rows();
    const int r = std::clamp(y / std::max(1, grid->CellHeight()), -1, rows);
    const int c = std::clamp(x / std::max(1, grid->CellWidth()), 0, BytesPerRow - 1);
    qint64 position = session_.View().pageStart + qint64(BytesPerRow) * r + c;
    position = std::clamp<qint64>(position, 1, document_.Length());
    const bool extend = drag || (shift & ShiftState::Shift) != 0;
    if (!drag && !extend && position == session_.View().position && !session_.Selection()) {
        return;
    }
    const bool hadPending = session_.PendingDigit().has_value();
    session_.MoveTo(position, extend);
    if (hadPending) {
        BytesChanged();
    }
    ShowDocument();
}

void frmEditor::grid_EnterCell(int, int) {
    // The grids' cursors follow the document's; they never move on their own.
    if (!syncing_ && Ready()) {
        ShowCursor();
    }
}

void frmEditor::Pane_GotFocus(Pane pane) {
    session_.SetActivePane(pane);
    SetModeColours(pane == Pane::Hex ? 1 : 2);
    if (document_.Loaded()) {
        ShowCursor();
    }
}

void frmEditor::Form_KeyUp(int KeyCode, int) {
    if (KeyCode != KeyCode::Tab || !document_.Loaded()) {
        return;
    }
    if (session_.ActivePane() == Pane::Hex) {
        PicText->setFocus(Qt::TabFocusReason);
    } else {
        PicHex->setFocus(Qt::TabFocusReason);
    }
}

void frmEditor::lblInfo_Click(int) {
    if (!document_.Loaded()) {
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

void frmEditor::lblSelect_Click() {
    if (!document_.Loaded()) {
        return;
    }
    SetRadix(lblSelect->text() == QLatin1String("OFFSET DEC"));
    ShowSelection();
}

void frmEditor::SetRadix(bool hex) {
    lblSelect->setText(hex ? QStringLiteral("OFFSET HEX") : QStringLiteral("OFFSET DEC"));
    OffsetHex = hex;
    document_.SetOffsetHex(hex); // its reports follow the column
    // The same rows as the page drawing: a row wholly past the end gets no offset.
    PicOffSet->Cls();
    DrawOffsets();
    for (int i = 0; i < BytesPerRow; ++i) {
        Label2[i]->setText(OffsetHex ? QStringLiteral("0") + QString::number(i, 16).toUpper()
                                     : QStringLiteral("%1").arg(i, 2, 10, QLatin1Char('0')));
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
