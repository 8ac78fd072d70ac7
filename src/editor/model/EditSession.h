#pragma once

#include "EditorDocument.h"
#include "Navigation.h"
#include "SearchPattern.h"

#include <QFile>
#include <QString>
#include <optional>

// What the user does to the document in the Memory window: the cursor with its page and the
// selection, the half-typed byte, typing and taking back, copy, paste and fill, find and go
// to, and the compare with another file. Its sentences are told through the document's
// observer, beside the feature they belong to: EditSessionClipboard.cpp (copy, paste, fill,
// checksums), EditSessionFind.cpp (find, go to), EditSessionCompare.cpp (compare).
class EditSession final : public EditorDocument::Session {
public:
    using Span = EditorDocument::Span;
    enum class Pane { None, Hex, Text };

    explicit EditSession(EditorDocument& document);
    ~EditSession() override;
    EditSession(const EditSession&) = delete;
    EditSession& operator=(const EditSession&) = delete;

    // ---- Typing ----
    // A hex digit typed in the hex pane: the first of a byte shows alone and is kept; the
    // second completes the byte. True when the key was a hex digit.
    bool TypeHexDigit(QChar digit);
    // A character typed in the text pane, as its code-page byte.
    void TypeByte(unsigned char value);
    // Writes a half-typed byte as its low digit ("7" becomes 07h).
    void CompletePending() override;
    struct Pending {
        qint64 position;
        QChar digit;
    };
    const std::optional<Pending>& PendingDigit() const { return pendingDigit_; }
    // With advance on, the cursor goes to the next byte after each completed byte.
    void SetAdvance(bool on) { advance_ = on; }
    bool Advance() const { return advance_; }
    // The history's steps, the cursor put on the bytes they change; a half-typed byte is
    // taken back first.
    std::optional<Span> Undo();
    std::optional<Span> Redo();
    bool CanUndo() const { return Loaded() && (document_.CanUndo() || pendingDigit_.has_value()); }
    bool CanRedo() const { return document_.CanRedo(); }

    // ---- The cursor, the page and the selection ----
    const Navigation::View& View() const { return view_; }
    Pane ActivePane() const { return activePane_; }
    void SetActivePane(Pane pane) { activePane_ = pane; }
    // A movement key; with extend (Shift) the selection grows or shrinks with the cursor.
    void Move(Navigation::Key key, bool ctrl, bool extend);
    // The cursor to position (a click, a drag with extend), paging when it is not shown.
    void MoveTo(qint64 position, bool extend);
    // The page to pageStart, the cursor on the same cell of it (clamped to the data).
    void ShowPage(qint64 pageStart);
    std::optional<Span> Selection() const;
    void SelectAll();
    void ClearSelection() { selectionAnchor_.reset(); }

    // ---- Copy, paste, fill (EditSessionClipboard.cpp) ----
    // At most this many bytes are copied at once (the text goes to the clipboard).
    static constexpr qint64 MaxCopy = qint64(16) << 20;
    // The selection (or the cursor's byte) as hex text "DE AD BE EF" or as code-page text;
    // none, after telling why, when it is too large.
    std::optional<QString> Copy(bool hex);
    // Overwrites from the cursor with the bytes of text (hex digits, or code-page text); the
    // length never changes: a paste past the end is refused. One step of the history.
    bool Paste(const QString& text, bool hex);
    // The selection filled with pattern over and over, one step of the history.
    bool Fill(const QByteArray& pattern);
    // The selection's CRC-32 and 16-bit sum; none when stopped.
    struct Sums {
        quint32 crc = 0;
        quint16 sum = 0;
    };
    std::optional<Sums> SelectionSums();

    // ---- Find, go to (EditSessionFind.cpp) ----
    // Finds pattern from the cursor; at the end (or the start) asks whether to go on from
    // the other end. True when the cursor landed on a match.
    bool Find(const SearchPattern& pattern, bool forward);
    bool FindAgain(bool forward);
    bool HasPattern() const { return lastPattern_.has_value(); }
    // Goes to the offset typed; false, after saying why, when there is none such.
    bool GoTo(const QString& text);

    // ---- Compare (EditSessionCompare.cpp) ----
    // Compares the document with another file: tells the count of differing bytes and the
    // first of them, and puts the cursor on the first.
    bool CompareWith(const QString& path);
    // The next (or previous) byte that differs from the file last compared with.
    bool NextDifference(bool forward);
    bool Comparing() const { return !comparedPath_.isEmpty(); }
    // Reads up to size bytes of the file last compared with at the place of position, where
    // both have bytes (a page marks the differences with them); what it got, 0 when none.
    qint64 ReadCompared(qint64 position, char* data, qint64 size);

private:
    void FileChanges() override;
    bool Loaded() const { return document_.Loaded(); }
    // The cursor to position (shown), the selection dropped.
    void ShowFound(qint64 position);
    // The cursor to the bytes a step of the history changed.
    std::optional<Span> Show(std::optional<Span> span);
    void WriteByte(qint64 position, unsigned char value);
    std::optional<qint64> SearchFrom(qint64 from, bool forward);
    void DropCompare();

    EditorDocument& document_;
    EditorObserver& observer_;
    Navigation::View view_;
    Pane activePane_ = Pane::None;
    std::optional<qint64> selectionAnchor_; // the selection's other end; the cursor is one
    std::optional<Pending> pendingDigit_;
    bool advance_ = false;
    std::optional<SearchPattern> lastPattern_;
    qint64 lastMatch_ = 0;
    QString comparedPath_;      // the file last compared with
    QString comparedImagePath_; // its bytes, when they had to be decoded from records first
    QFile compared_;            // those bytes, open while the compare lasts
    qint64 comparedLength_ = 0; // the bytes both have
};
