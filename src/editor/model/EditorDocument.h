#pragma once

#include "ByteEdits.h"
#include "RecordImage.h"
#include "WorkImage.h"

#include <QDateTime>
#include <QFile>
#include <QString>
#include <functional>
#include <optional>

class EditorObserver;
namespace platform {
class RuntimeError;
}

// The Memory window's document without the window: the user's file copied into the working
// image (raw bytes, or the image an Intel HEX or S-record file describes, with its records
// layout), the bytes written into it with their history, and the write back. Questions and
// progress go to the observer. The edit session (EditSession) works on it: the cursor, the
// half-typed byte and the rest of what the user does to it. Positions are 1-based; offsets, as
// the user reads them, are 0-based from the image's first address (0 for a raw file).
class EditorDocument {
public:
    using Span = ByteEdits::Span;

    // What the document asks of the session that edits it.
    class Session {
    public:
        virtual ~Session() = default;
        // Writes what is held back (a half-typed byte): the file is about to be written.
        virtual void CompletePending() = 0;
        // Another file is about to be opened, or the document closes: what was found,
        // compared and selected in the last one goes.
        virtual void FileChanges() = 0;
    };

    EditorDocument(EditorObserver& observer, QString workImagePath);
    ~EditorDocument();
    EditorDocument(const EditorDocument&) = delete;
    EditorDocument& operator=(const EditorDocument&) = delete;
    void SetSession(Session* session) { session_ = session; }
    EditorObserver& Observer() const { return observer_; }

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
    const QString& OpeningCaption() const { return openingCaption_; }
    const QString& SavingCaption() const { return savingCaption_; }
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
    QString OffsetRange() const; // "from 0 to 999 (0h to 3E7h)"
    // What the last successful write put where: "40 bytes to fw.ihx (Intel HEX)".
    const QString& LastWritten() const { return lastWritten_; }
    // Reads up to size bytes from position; what it got (a failure is told, and gets 0).
    qint64 Read(qint64 position, char* data, qint64 size);

    // ---- The bytes and their history ----
    // One byte written, one step of the history; false after telling a failure.
    bool Write(qint64 position, unsigned char value);
    // Runs work with the progress shown (stoppable: the user may stop it); false when it
    // failed (told) or was stopped.
    bool Run(const QString& caption, bool stoppable,
             const std::function<void(const ByteEdits::Progress&)>& work);
    // length bytes from position as one step (see ByteEdits::WriteRange), with the progress
    // shown under caption.
    bool WriteRange(const QString& caption, qint64 position, qint64 length, const QByteArray& data);
    // A few small pieces (a value, the checksum fields), each (position, bytes), as one step
    // at once, without progress; false after telling a failure (then none is written).
    bool WriteRanges(const QList<QPair<qint64, QByteArray>>& ranges);
    // Takes the last step back or does the next again: what it changed.
    std::optional<Span> Undo() { return Step(false); }
    std::optional<Span> Redo() { return Step(true); }
    bool CanUndo() const { return loaded_ && edits_.CanUndo(); }
    bool CanRedo() const { return loaded_ && edits_.CanRedo(); }
    // A file as it stands: another program's change shows as a different stamp.
    struct FileStamp {
        bool exists = false;
        qint64 size = 0;
        QDateTime modified;
        bool operator==(const FileStamp&) const = default;
    };
    static FileStamp StampOf(const QString& path);
    // Tells a failure, unless it is the user's own stop.
    void Fail(const platform::RuntimeError& error);

private:
    bool Load(QFileDevice& source, const QString& name);
    bool LoadRecords(QFileDevice& source, core::ImageFormat format);
    bool LoadRecords(const QString& path, core::ImageFormat format);
    // The format the file at path is read in: by its name, and for a .hex (asked first) by
    // what it holds.
    core::ImageFormat FormatToRead(const QString& path, QFile& source);
    // The records layout target is written with: the document's, one at address 0 for a raw
    // document written to a records name, none for raw bytes (a .bin).
    std::optional<RecordImage::Layout> LayoutFor(const QString& target) const;
    bool ConfirmReplace(const QString& target, bool own);
    bool IsWorkImage(const QString& path) const;
    std::optional<Span> Step(bool redo);
    void CompletePending();
    void FileChanges();

    EditorObserver& observer_;
    Session* session_ = nullptr;
    WorkImage image_;
    ByteEdits edits_{image_};
    QString source_;
    FileStamp sourceStamp_; // the user's file as it was opened or last written
    bool loaded_ = false;
    qint64 base_ = 0;
    QString doneQuestion_ = QStringLiteral("has been changed. Do you want to save the changes?");
    QString openingCaption_ = QStringLiteral("Openning");
    QString savingCaption_ = QStringLiteral("Saving");
    std::optional<RecordImage::Layout> layout_;
    bool offsetHex_ = false;
    QString lastWritten_;
};
