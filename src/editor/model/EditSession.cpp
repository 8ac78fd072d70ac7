#include "EditSession.h"

#include "CellText.h"
#include "EditorObserver.h"

#include <utility>

namespace {

bool IsHexDigit(QChar c) {
    return (c >= QLatin1Char('0') && c <= QLatin1Char('9')) ||
           (c >= QLatin1Char('A') && c <= QLatin1Char('F'));
}

} // namespace

EditSession::EditSession(EditorDocument& document)
    : document_(document), observer_(document.Observer()) {
    document_.SetSession(this);
}

EditSession::~EditSession() {
    document_.SetSession(nullptr);
    DropCompare();
}

void EditSession::FileChanges() {
    DropCompare();
    pendingDigit_.reset();
    selectionAnchor_.reset();
    lastMatch_ = 0;
    view_ = {};
}

void EditSession::ShowFound(qint64 position) {
    selectionAnchor_.reset();
    view_ = Navigation::Show(view_, position, document_.Length());
}

// ---- Typing ----

void EditSession::WriteByte(qint64 position, unsigned char value) {
    // With advance on, a byte typed at the cursor moves it on.
    if (document_.Write(position, value) && advance_ && position == view_.position &&
        position < document_.Length()) {
        view_ = Navigation::Move(view_, Navigation::Key::Right, false, document_.Length());
    }
}

bool EditSession::TypeHexDigit(QChar typed) {
    const QChar digit = typed.toUpper();
    if (!Loaded() || !IsHexDigit(digit)) {
        return false;
    }
    selectionAnchor_.reset();
    const qint64 position = view_.position;
    if (pendingDigit_ && pendingDigit_->position == position) {
        // The second digit completes the byte: one step of the history.
        const QChar first = pendingDigit_->digit;
        pendingDigit_.reset();
        WriteByte(position,
                  static_cast<unsigned char>(CellText::HexToByte(QString(first) + digit)));
    } else {
        CompletePending();
        // The first digit replaces the whole cell and shows alone; nothing is written yet.
        pendingDigit_ = Pending{position, digit};
    }
    return true;
}

void EditSession::TypeByte(unsigned char value) {
    if (!Loaded()) {
        return;
    }
    selectionAnchor_.reset();
    CompletePending();
    WriteByte(view_.position, value);
}

void EditSession::CompletePending() {
    if (!pendingDigit_) {
        return;
    }
    const Pending pending = *pendingDigit_;
    pendingDigit_.reset();
    const bool advance = std::exchange(advance_, false); // completed by leaving, not typing
    WriteByte(pending.position, static_cast<unsigned char>(CellText::HexToByte(pending.digit)));
    advance_ = advance;
}

std::optional<EditSession::Span> EditSession::Undo() {
    if (!Loaded()) {
        return std::nullopt;
    }
    if (pendingDigit_) {
        // A half-typed byte was never written: taking it back shows the byte again.
        const qint64 position = pendingDigit_->position;
        pendingDigit_.reset();
        return Span{position, 1};
    }
    return Show(document_.Undo());
}

std::optional<EditSession::Span> EditSession::Redo() {
    if (!Loaded()) {
        return std::nullopt;
    }
    CompletePending();
    return Show(document_.Redo());
}

std::optional<EditSession::Span> EditSession::Show(std::optional<Span> span) {
    if (span) {
        view_ = Navigation::Show(view_, span->position, document_.Length()); // the cursor to it
    }
    return span;
}

// ---- The cursor, the page and the selection ----

void EditSession::Move(Navigation::Key key, bool ctrl, bool extend) {
    if (!Loaded()) {
        return;
    }
    CompletePending();
    const qint64 from = view_.position;
    view_ = Navigation::Move(view_, key, ctrl, document_.Length());
    if (!extend) {
        selectionAnchor_.reset();
    } else if (!selectionAnchor_) {
        selectionAnchor_ = from;
    }
}

void EditSession::MoveTo(qint64 position, bool extend) {
    if (!Loaded() || position < 1 || position > document_.Length()) {
        return;
    }
    if (position != view_.position) {
        CompletePending();
    }
    const qint64 from = view_.position;
    view_ = Navigation::Show(view_, position, document_.Length());
    if (!extend) {
        selectionAnchor_.reset();
    } else if (!selectionAnchor_) {
        selectionAnchor_ = from;
    }
}

void EditSession::ShowPage(qint64 pageStart) {
    if (!Loaded()) {
        return;
    }
    CompletePending();
    const int row = Navigation::RowOf(view_);
    const int col = Navigation::ColumnOf(view_);
    view_.pageStart = std::max<qint64>(1, pageStart);
    const qint64 length = document_.Length();
    qint64 position = view_.pageStart + qint64(PageGeometry::BytesPerRow) * row + col;
    while (position > length && position - PageGeometry::BytesPerRow >= view_.pageStart) {
        position -= PageGeometry::BytesPerRow;
    }
    view_.position = std::min(position, length);
}

std::optional<EditSession::Span> EditSession::Selection() const {
    if (!selectionAnchor_ || !Loaded()) {
        return std::nullopt;
    }
    const qint64 first = std::min(*selectionAnchor_, view_.position);
    const qint64 last = std::max(*selectionAnchor_, view_.position);
    return Span{first, last - first + 1};
}

void EditSession::SelectAll() {
    if (!Loaded()) {
        return;
    }
    CompletePending();
    selectionAnchor_ = 1;
    view_ = Navigation::Show(view_, document_.Length(), document_.Length());
}
