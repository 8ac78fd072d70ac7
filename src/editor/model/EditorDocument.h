#pragma once

#include "ByteEdits.h"
#include "Navigation.h"
#include "RecordImage.h"
#include "SearchPattern.h"
#include "WorkImage.h"

#include <QDateTime>
#include <QFile>
#include <QString>
#include <optional>
#include <vector>

class EditorObserver;
namespace platform {
class RuntimeError;
}

// The Memory window's document without the window: the user's file copied into the working
// image, the bytes typed into either pane, the edit history, the cursor with its page and the
// selection, find and go to, copy, paste and fill, compare with another file, and the write
// back. Questions and progress go to the observer. Positions are 1-based; offsets, as the
// user reads them, are 0-based from the image's first address (0 for a raw file).
class EditorDocument {
public:
    using Span = ByteEdits::Span;
    enum class Pane { None, Hex, Text };

    EditorDocument(EditorObserver& observer, QString workImagePath);
    ~EditorDocument();
    EditorDocument(const EditorDocument&) = delete;
    EditorDocument& operator=(const EditorDocument&) = delete;

    // ---- The file ----
    // Whether path may be opened (a readable, non-empty regular file that is not the working
    // image); when not, the observer is told why.
    bool CanOpen(const QString& path);
    // Loads the bytes of bytesFrom (path when empty) as the document path; false, after
    // telling why, when it could not be loaded (then no file is open).
    bool Open(const QString& path, const QString& bytesFrom = QString());
    // The edits are written or given up after Done's question (with cancel: Yes/No/Cancel);
    // false keeps the document as it is (Cancel, or the write failed and was not retried).
    bool SettleChanges(bool cancel);
    bool Save();
    bool SaveAs();
    // Writes the document to target, asking first when target is the user's file and another
    // program changed it or made it read-only, and offering Save As when the write fails.
    bool WriteTo(QString target);
    // Where the next Open makes the working image (a previous one elsewhere is deleted).
    void SetWorkImagePath(const QString& path);
    // Closes the working image; Remove deletes it too.
    void Close();
    void Remove();
    // Edits kept from an earlier run: the user's file lacks them.
    void MarkUnsaved() { edits_.MarkUnsaved(); }
    // Moves the working image, unsaved edits and all, to path.
    bool KeepImageAt(const QString& path, QString* why);

    bool Loaded() const { return loaded_; }
    const QString& SourceName() const { return source_; }
    QString DoneQuestion() const;
    void SetDoneQuestion(const QString& text) { doneQuestion_ = text; }
    void SetCaptions(const QString& opening, const QString& saving);
    bool Modified() const { return edits_.Modified(); }
    qint64 Length() const { return image_.Length(); }
    WorkImage& Image() { return image_; }
    // The address of the first byte (records images start where their records do).
    qint64 Base() const { return base_; }
    // The records an Intel HEX or S-record document was read from and is written back as;
    // none for a file of raw bytes.
    const std::optional<RecordImage::Layout>& Records() const { return layout_; }
    qint64 OffsetOf(qint64 position) const { return base_ + position - 1; }
    // The radix of the offset column, which the document's reports follow too. An image whose
    // addresses start above zero opens in hexadecimal.
    bool OffsetHex() const { return offsetHex_; }
    void SetOffsetHex(bool hex) { offsetHex_ = hex; }
    // offset as the reports give it: "8000" or "1F40h".
    QString OffsetText(qint64 offset) const;
    // What the last successful write put where: "40 bytes to fw.ihx (Intel HEX)".
    const QString& LastWritten() const { return lastWritten_; }
    // Reads up to size bytes from position; what it got (a failure is told, and gets 0).
    qint64 Read(qint64 position, char* data, qint64 size);

    // ---- Typing ----
    // A hex digit typed in the hex pane: the first of a byte shows alone and is kept; the
    // second completes the byte. True when the key was a hex digit.
    bool TypeHexDigit(QChar digit);
    // A character typed in the text pane, as its code-page byte.
    void TypeByte(unsigned char value);
    // Writes a half-typed byte as its low digit ("7" becomes 07h).
    void CompletePending();
    struct Pending {
        qint64 position;
        QChar digit;
    };
    std::optional<Pending> PendingDigit() const;
    // With advance on, the cursor goes to the next byte after each completed byte.
    void SetAdvance(bool on) { advance_ = on; }
    bool Advance() const { return advance_; }
    std::optional<Span> Undo();
    std::optional<Span> Redo();
    bool CanUndo() const { return loaded_ && (edits_.CanUndo() || pending_.has_value()); }
    bool CanRedo() const { return loaded_ && edits_.CanRedo(); }

    // ---- The cursor, the page and the selection ----
    const Navigation::View& View() const { return view_; }
    Pane ActivePane() const { return pane_; }
    void SetActivePane(Pane pane) { pane_ = pane; }
    // A movement key; with extend (Shift) the selection grows or shrinks with the cursor.
    void Move(Navigation::Key key, bool ctrl, bool extend);
    // The cursor to position (a click, a drag with extend), paging when it is not shown.
    void MoveTo(qint64 position, bool extend);
    // The page to pageStart, the cursor on the same cell of it (clamped to the data).
    void ShowPage(qint64 pageStart);
    std::optional<Span> Selection() const;
    void SelectAll();
    void ClearSelection() { anchor_.reset(); }

    // ---- Copy, paste, fill ----
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

    // ---- Find, go to, compare ----
    // Finds pattern from the cursor; at the end (or the start) asks whether to go on from
    // the other end. True when the cursor landed on a match.
    bool Find(const SearchPattern& pattern, bool forward);
    bool FindAgain(bool forward);
    bool HasPattern() const { return lastPattern_.has_value(); }
    // Goes to the offset typed; false, after saying why, when there is none such.
    bool GoTo(const QString& text);
    QString OffsetRange() const; // "from 0 to 999 (0h to 3E7h)"
    // Compares the document with another file: tells the count of differing bytes and the
    // first of them, and puts the cursor on the first.
    bool CompareWith(const QString& path);
    // The next (or previous) byte that differs from the file last compared with.
    bool NextDifference(bool forward);
    bool Comparing() const { return !comparePath_.isEmpty(); }
    // Reads up to size bytes of the file last compared with at the place of position, where
    // both have bytes (a page marks the differences with them); what it got, 0 when none.
    qint64 ReadCompared(qint64 position, char* data, qint64 size);

private:
    struct FileStamp {
        bool exists = false;
        qint64 size = 0;
        QDateTime modified;
        bool operator==(const FileStamp&) const = default;
    };
    static FileStamp StampOf(const QString& path);
    bool Load(QFileDevice& source, const QString& name);
    bool LoadRecords(QFileDevice& source, core::ImageFormat format);
    bool LoadRecords(const QString& path, core::ImageFormat format);
    // The format the file at path is read in: by its name, and for a .hex (asked first) by
    // what it holds.
    core::ImageFormat FormatToRead(const QString& path, QFile& source);
    // The records layout target is written with: the document's, one at address 0 for a raw
    // document written to a records name, none for raw bytes (a .bin).
    std::optional<RecordImage::Layout> LayoutFor(const QString& target) const;
    void DropCompare();
    bool ConfirmReplace(const QString& target, bool own);
    bool WriteBack(const QString& target);
    bool IsWorkImage(const QString& path) const;
    void Fail(const platform::RuntimeError& error);
    // Runs work with the progress shown; false when it failed (told) or was stopped.
    template <typename Work> bool Run(const QString& caption, bool stoppable, Work work);
    void WriteByte(qint64 position, unsigned char value);
    // Takes the last step back or does the next again.
    std::optional<Span> Step(bool redo);
    void Advanced(qint64 position);
    std::optional<qint64> SearchFrom(qint64 from, bool forward);

    EditorObserver& observer_;
    WorkImage image_;
    ByteEdits edits_{image_};
    QString source_;
    FileStamp stamp_;
    bool loaded_ = false;
    qint64 base_ = 0;
    QString doneQuestion_ = QStringLiteral("has been changed. Do you want to save the changes?");
    QString openingCaption_ = QStringLiteral("Openning");
    QString savingCaption_ = QStringLiteral("Saving");
    Navigation::View view_;
    Pane pane_ = Pane::None;
    std::optional<qint64> anchor_;
    std::optional<Pending> pending_;
    bool advance_ = false;
    std::optional<SearchPattern> lastPattern_;
    qint64 lastMatch_ = 0;
    std::optional<RecordImage::Layout> layout_;
    QString comparePath_;  // the file last compared with
    QString compareImage_; // its bytes, when they had to be decoded from records first
    QFile compared_;       // those bytes, open while the compare lasts
    qint64 comparedLength_ = 0;
    bool offsetHex_ = false;
    QString lastWritten_;
};
