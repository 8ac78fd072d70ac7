#include "EditorDocument.h"

#include "CellText.h"
#include "EditorObserver.h"
#include "ImageCompare.h"
#include "ImageSearch.h"
#include "core/Checksums.h"
#include "core/FileErrors.h"
#include "core/FileReplace.h"
#include "core/RegularFile.h"
#include "platform/RuntimeError.h"
#include "platform/Windows1252.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <functional>

using platform::RuntimeError;
namespace ErrorNumber = platform::ErrorNumber;
using Tone = EditorObserver::Tone;
using Answer = EditorObserver::Answer;

namespace {

QString Tr(const char* text) {
    return QCoreApplication::translate("EditorDocument", text);
}

QString HexOffset(qint64 offset) {
    return QString::number(offset, 16).toUpper() + QLatin1Char('h');
}

QString HexByte(unsigned char value) {
    return QStringLiteral("%1").arg(value, 2, 16, QLatin1Char('0')).toUpper();
}

bool IsHexDigit(QChar c) {
    return (c >= QLatin1Char('0') && c <= QLatin1Char('9')) ||
           (c >= QLatin1Char('A') && c <= QLatin1Char('F'));
}

// Stoppable work that shows its progress only once it outlasts its first piece: a search or a
// compare that ends at once does not flash the progress bar.
class LateProgress {
public:
    LateProgress(EditorObserver& observer, QString caption)
        : observer_(observer), caption_(std::move(caption)) {}
    ~LateProgress() {
        if (shown_) {
            observer_.WorkOver();
        }
    }
    LateProgress(const LateProgress&) = delete;
    LateProgress& operator=(const LateProgress&) = delete;

    // The share done; false when the user stopped the work or the program is ending.
    bool operator()(int percent) {
        if (!shown_) {
            observer_.WorkStarts(caption_, true);
            shown_ = true;
        }
        return observer_.WorkProgress(percent) && !observer_.Ending();
    }

private:
    EditorObserver& observer_;
    QString caption_;
    bool shown_ = false;
};

} // namespace

EditorDocument::EditorDocument(EditorObserver& observer, QString workImagePath)
    : observer_(observer), image_(std::move(workImagePath)) {}

EditorDocument::~EditorDocument() {
    edits_.Clear();
    DropCompare();
}

void EditorDocument::Fail(const RuntimeError& error) {
    if (error.Number() != ErrorNumber::CancelError) {
        observer_.Fail(error);
    }
}

template <typename Work>
bool EditorDocument::Run(const QString& caption, bool stoppable, Work work) {
    observer_.WorkStarts(caption, stoppable);
    std::optional<RuntimeError> failure;
    try {
        work(
            [this](int percent) { return observer_.WorkProgress(percent) && !observer_.Ending(); });
    } catch (const RuntimeError& error) {
        failure = error;
    }
    // The work is over before its failure is told.
    observer_.WorkOver();
    if (failure) {
        Fail(*failure);
    }
    return !failure;
}

// ---- The file ----

EditorDocument::FileStamp EditorDocument::StampOf(const QString& path) {
    const QFileInfo info(path);
    if (!info.exists()) {
        return {};
    }
    return {true, info.size(), info.lastModified()};
}

bool EditorDocument::IsWorkImage(const QString& path) const {
    const QString canonical = QFileInfo(path).canonicalFilePath();
    return !canonical.isEmpty() && !image_.Path().isEmpty() &&
           canonical == QFileInfo(image_.Path()).canonicalFilePath();
}

bool EditorDocument::CanOpen(const QString& path) {
    QFile file;
    bool special = false;
    const QString why = core::OpenRegularFile(file, path, &special);
    QString refusal;
    if (special) {
        refusal = Tr("Cannot open \"%1\": %2.\nThe editor opens files only.").arg(path, why);
    } else if (!why.isEmpty()) {
        refusal = Tr("Cannot open \"%1\": %2.\nChoose a file you may read.").arg(path, why);
    } else if (file.size() == 0) {
        refusal = Tr("\"%1\" is empty: there is nothing to edit.").arg(path);
    } else if (IsWorkImage(path)) {
        refusal = Tr("\"%1\" is the editor's own working copy. Choose another file.").arg(path);
    }
    if (!refusal.isEmpty()) {
        observer_.Tell(refusal, Tone::Warning);
        return false;
    }
    return true;
}

void EditorDocument::SetCaptions(const QString& opening, const QString& saving) {
    openingCaption_ = opening;
    savingCaption_ = saving;
}

bool EditorDocument::Open(const QString& path, const QString& bytesFrom) {
    const QString from = bytesFrom.isEmpty() ? path : bytesFrom;
    loaded_ = false;
    image_.Close();
    QFile source;
    const QString why = core::OpenRegularFile(source, from);
    if (!why.isEmpty()) {
        observer_.Tell(Tr("Cannot open \"%1\": %2.").arg(from, why), Tone::Warning);
        return false;
    }
    if (source.size() == 0) {
        observer_.Tell(Tr("\"%1\" is empty: there is nothing to edit.").arg(from), Tone::Warning);
        return false;
    }
    stamp_ = StampOf(path);
    DropCompare();
    layout_.reset();
    if (from == path) {
        const core::ImageFormat format = FormatToRead(path, source);
        if (format != core::ImageFormat::Raw ? !LoadRecords(path, format) : !Load(source, from)) {
            return false;
        }
    } else {
        // Kept edits are raw bytes; a records file's layout comes from the file itself.
        QFile original;
        const core::ImageFormat format = core::ImageFormatOfPath(path);
        if (format != core::ImageFormat::Raw && core::OpenRegularFile(original, path).isEmpty()) {
            LoadRecords(path, format);
        }
        if (!Load(source, from)) {
            return false;
        }
        if (layout_) {
            layout_->length = image_.Length();
        }
    }
    source_ = path;
    loaded_ = true;
    base_ = layout_ ? layout_->base : 0;
    // Addresses above zero are read in hexadecimal, as the records give them.
    offsetHex_ = offsetHex_ || base_ > 0;
    edits_.Clear();
    pending_.reset();
    anchor_.reset();
    lastMatch_ = 0;
    view_ = {};
    return true;
}

core::ImageFormat EditorDocument::FormatToRead(const QString& path, QFile& source) {
    const core::ImageFormat byName = core::ImageFormatOfPath(path);
    if (byName != core::ImageFormat::Raw ||
        !path.endsWith(QLatin1String(".hex"), Qt::CaseInsensitive)) {
        return byName;
    }
    // A .hex is raw bytes to the programmer's window, but toolchains write Intel HEX under
    // that name: whole lines of records at its start are taken as a sign, and the user asked.
    QByteArray head(64 * 1024, Qt::Uninitialized);
    const qint64 got = source.read(head.data(), head.size());
    source.seek(0);
    if (got <= 0) {
        return byName;
    }
    head.resize(got);
    if (got == 64 * 1024 && head.lastIndexOf('\n') > 0) {
        head.truncate(head.lastIndexOf('\n') + 1);
    }
    const std::optional<core::ImageFormat> records = core::RecordsFormatOf(head);
    if (!records) {
        return byName;
    }
    const QString question =
        Tr("%1 holds %2. Open the image they describe (No opens the file's text as bytes)?")
            .arg(QFileInfo(path).fileName(), core::RecordsWords(*records));
    return observer_.Ask(question, false, Tone::Information, false) == Answer::Yes ? *records
                                                                                   : byName;
}

bool EditorDocument::LoadRecords(QFileDevice& source, core::ImageFormat format) {
    // Records far apart make a long span to fill: that may be stopped.
    return Run(openingCaption_, true, [&](const ByteEdits::Progress& progress) {
        layout_ = image_.LoadRecords(source, format, progress);
    });
}

bool EditorDocument::LoadRecords(const QString& path, core::ImageFormat format) {
    // Opened by its name (the regular-file check is done), which the records' messages give.
    QFile named(path);
    if (!named.open(QIODevice::ReadOnly)) {
        observer_.Tell(Tr("Cannot open \"%1\": %2.").arg(path, core::FileErrorReason(named)),
                       Tone::Warning);
        return false;
    }
    return LoadRecords(named, format);
}

std::optional<RecordImage::Layout> EditorDocument::LayoutFor(const QString& target) const {
    const core::ImageFormat byName = core::ImageFormatOfPath(target);
    if (byName == core::ImageFormat::Raw) {
        // A .bin takes the bytes; any other name keeps the document's own format.
        if (target.endsWith(QLatin1String(".bin"), Qt::CaseInsensitive) || !layout_) {
            return std::nullopt;
        }
        return layout_;
    }
    RecordImage::Layout layout;
    if (layout_ && layout_->format == byName) {
        layout = *layout_;
    } else {
        layout.format = byName;
        layout.base = static_cast<quint32>(base_);
        layout.dataType = base_ + image_.Length() - 1 > 0xFFFFFF ? 3
                          : base_ + image_.Length() - 1 > 0xFFFF ? 2
                                                                 : 1;
        layout.addressing = base_ + image_.Length() - 1 > 0xFFFF
                                ? RecordImage::HexAddressing::Linear
                                : RecordImage::HexAddressing::None;
    }
    layout.length = image_.Length();
    return layout;
}

bool EditorDocument::Load(QFileDevice& source, const QString& name) {
    return Run(openingCaption_, false, [&](const ByteEdits::Progress& progress) {
        image_.Load(
            source,
            [&](int percent) {
                if (!progress(percent)) {
                    image_.Abort();
                }
            },
            name);
    });
}

QString EditorDocument::DoneQuestion() const {
    return QLatin1Char('"') + source_ + QStringLiteral("\" ") + doneQuestion_;
}

bool EditorDocument::SettleChanges(bool cancel) {
    if (!loaded_) {
        return true;
    }
    CompletePending();
    if (!Modified()) {
        return true;
    }
    switch (observer_.Ask(DoneQuestion(), cancel, Tone::Information, false)) {
    case Answer::Yes:
        return WriteTo(source_);
    case Answer::No:
        return true;
    case Answer::Cancel:
        break;
    }
    return false;
}

bool EditorDocument::Save() {
    if (!loaded_) {
        return false;
    }
    CompletePending();
    return !Modified() || WriteTo(source_);
}

bool EditorDocument::SaveAs() {
    if (!loaded_) {
        return false;
    }
    CompletePending();
    const std::optional<QString> target = observer_.SaveAsTarget();
    return target && WriteTo(*target);
}

bool EditorDocument::ConfirmReplace(const QString& target, bool own) {
    // A file another program changed since it was opened holds work that would be lost.
    if (own) {
        const FileStamp now = StampOf(source_);
        if (now.exists && !(now == stamp_) &&
            observer_.Ask(Tr("%1 was changed by another program after it was opened. Replace it "
                             "with your edited copy?")
                              .arg(source_),
                          false, Tone::Warning, true) != Answer::Yes) {
            return false;
        }
    }
    // A read-only file was made so on purpose: replaced only when the user says so (the
    // owner's write bit decides, as the user sees it, also for the superuser).
    return !core::InspectTarget(target).readOnly ||
           observer_.Ask(core::ReplaceReadOnlyQuestion(target), false, Tone::Warning, true) ==
               Answer::Yes;
}

bool EditorDocument::WriteTo(QString target) {
    if (!loaded_) {
        return false;
    }
    CompletePending();
    for (;;) {
        const QFileInfo info(target);
        QString refusal;
        if (IsWorkImage(target)) {
            refusal =
                Tr("\"%1\" is the editor's own working copy. Choose another file.").arg(target);
        } else if (info.exists() && !info.isFile()) {
            refusal = Tr("\"%1\" is not a file (a folder, a pipe or a device). Choose a file.")
                          .arg(target);
        }
        if (!refusal.isEmpty()) {
            observer_.Tell(refusal, Tone::Warning);
            return false;
        }
        const bool own = info.absoluteFilePath() == QFileInfo(source_).absoluteFilePath();
        if (!ConfirmReplace(target, own)) {
            return false;
        }
        std::optional<RuntimeError> failure;
        observer_.WorkStarts(savingCaption_, false);
        try {
            if (observer_.Ending()) {
                throw RuntimeError(ErrorNumber::CancelError, Tr("The program is ending."));
            }
            if (const std::optional<RecordImage::Layout> layout = LayoutFor(target)) {
                RecordImage::Save(image_, *layout, target,
                                  [this](int percent) { return observer_.WorkProgress(percent); });
            } else {
                image_.SaveTo(target, [this](int percent) { observer_.WorkProgress(percent); });
            }
        } catch (const RuntimeError& error) {
            failure = error;
        }
        observer_.WorkOver();
        if (!failure) {
            // The file now holds the image as it stands; it is the document from here on.
            edits_.MarkSaved();
            layout_ = LayoutFor(target);
            source_ = target;
            stamp_ = StampOf(source_);
            lastWritten_ =
                Tr("%1 bytes to %2 (%3)")
                    .arg(image_.Length())
                    .arg(QFileInfo(target).fileName(),
                         core::FormatWords(layout_ ? layout_->format : core::ImageFormat::Raw));
            return true;
        }
        if (failure->Number() == ErrorNumber::CancelError) {
            return false;
        }
        const QString prompt =
            QString::number(failure->Number()) + QLatin1Char('\n') + failure->Description() +
            QStringLiteral("\n\n") +
            Tr("Your edits are still in the editor. Save them in another file (Save As...)?");
        if (observer_.Ask(prompt, false, Tone::Warning, false) != Answer::Yes) {
            return false;
        }
        const std::optional<QString> other = observer_.SaveAsTarget();
        if (!other) {
            return false;
        }
        target = *other;
    }
}

void EditorDocument::Close() {
    loaded_ = false;
    image_.Close();
    DropCompare();
}

void EditorDocument::SetWorkImagePath(const QString& path) {
    if (image_.Path() != path) {
        edits_.Clear();
        image_.Remove();
        image_.SetPath(path);
        loaded_ = false;
    }
}

void EditorDocument::Remove() {
    Close();
    edits_.Clear();
    image_.Remove();
}

bool EditorDocument::KeepImageAt(const QString& path, QString* why) {
    QFile::remove(path);
    // A rename within the folder: a copy under way reads on through its handle.
    QFile file(image_.Path());
    if (!file.rename(path)) {
        *why = core::FileErrorReason(file);
        return false;
    }
    return true;
}

qint64 EditorDocument::Read(qint64 position, char* data, qint64 size) {
    try {
        return image_.ReadAt(position, data, size);
    } catch (const RuntimeError& error) {
        Fail(error);
        return 0;
    }
}

// ---- Typing ----

std::optional<EditorDocument::Pending> EditorDocument::PendingDigit() const {
    return pending_;
}

void EditorDocument::WriteByte(qint64 position, unsigned char value) {
    try {
        edits_.Write(position, value);
        Advanced(position);
    } catch (const RuntimeError& error) {
        Fail(error);
    }
}

void EditorDocument::Advanced(qint64 position) {
    if (advance_ && position == view_.position && position < image_.Length()) {
        view_ = Navigation::Move(view_, Navigation::Key::Right, false, image_.Length());
    }
}

bool EditorDocument::TypeHexDigit(QChar typed) {
    const QChar digit = typed.toUpper();
    if (!loaded_ || !IsHexDigit(digit)) {
        return false;
    }
    anchor_.reset();
    const qint64 position = view_.position;
    if (pending_ && pending_->position == position) {
        // The second digit completes the byte: one step of the history.
        const QChar first = pending_->digit;
        pending_.reset();
        WriteByte(position,
                  static_cast<unsigned char>(CellText::HexToByte(QString(first) + digit)));
    } else {
        CompletePending();
        // The first digit replaces the whole cell and shows alone; nothing is written yet.
        pending_ = Pending{position, digit};
    }
    return true;
}

void EditorDocument::TypeByte(unsigned char value) {
    if (!loaded_) {
        return;
    }
    anchor_.reset();
    CompletePending();
    WriteByte(view_.position, value);
}

void EditorDocument::CompletePending() {
    if (!pending_) {
        return;
    }
    const Pending pending = *pending_;
    pending_.reset();
    const bool advance = std::exchange(advance_, false); // completed by leaving, not typing
    WriteByte(pending.position, static_cast<unsigned char>(CellText::HexToByte(pending.digit)));
    advance_ = advance;
}

std::optional<EditorDocument::Span> EditorDocument::Undo() {
    if (!loaded_) {
        return std::nullopt;
    }
    if (pending_) {
        // A half-typed byte was never written: taking it back shows the byte again.
        const qint64 position = pending_->position;
        pending_.reset();
        return Span{position, 1};
    }
    return Step(false);
}

std::optional<EditorDocument::Span> EditorDocument::Redo() {
    if (!loaded_) {
        return std::nullopt;
    }
    CompletePending();
    return Step(true);
}

std::optional<EditorDocument::Span> EditorDocument::Step(bool redo) {
    try {
        const std::optional<Span> span = redo ? edits_.Redo() : edits_.Undo();
        if (span) {
            view_ = Navigation::Show(view_, span->position, image_.Length()); // the cursor to it
        }
        return span;
    } catch (const RuntimeError& error) {
        Fail(error);
        return std::nullopt;
    }
}

// ---- The cursor, the page and the selection ----

void EditorDocument::Move(Navigation::Key key, bool ctrl, bool extend) {
    if (!loaded_) {
        return;
    }
    CompletePending();
    const qint64 from = view_.position;
    view_ = Navigation::Move(view_, key, ctrl, image_.Length());
    if (!extend) {
        anchor_.reset();
    } else if (!anchor_) {
        anchor_ = from;
    }
}

void EditorDocument::MoveTo(qint64 position, bool extend) {
    if (!loaded_ || position < 1 || position > image_.Length()) {
        return;
    }
    if (position != view_.position) {
        CompletePending();
    }
    const qint64 from = view_.position;
    view_ = Navigation::Show(view_, position, image_.Length());
    if (!extend) {
        anchor_.reset();
    } else if (!anchor_) {
        anchor_ = from;
    }
}

void EditorDocument::ShowPage(qint64 pageStart) {
    if (!loaded_) {
        return;
    }
    CompletePending();
    const int row = Navigation::RowOf(view_);
    const int col = Navigation::ColumnOf(view_);
    view_.pageStart = std::max<qint64>(1, pageStart);
    const qint64 length = image_.Length();
    qint64 position = view_.pageStart + qint64(PageGeometry::BytesPerRow) * row + col;
    while (position > length && position - PageGeometry::BytesPerRow >= view_.pageStart) {
        position -= PageGeometry::BytesPerRow;
    }
    view_.position = std::min(position, length);
}

std::optional<EditorDocument::Span> EditorDocument::Selection() const {
    if (!anchor_ || !loaded_) {
        return std::nullopt;
    }
    const qint64 first = std::min(*anchor_, view_.position);
    const qint64 last = std::max(*anchor_, view_.position);
    return Span{first, last - first + 1};
}

void EditorDocument::SelectAll() {
    if (!loaded_) {
        return;
    }
    CompletePending();
    anchor_ = 1;
    view_ = Navigation::Show(view_, image_.Length(), image_.Length());
}

// ---- Copy, paste, fill ----

std::optional<QString> EditorDocument::Copy(bool hex) {
    if (!loaded_) {
        return std::nullopt;
    }
    CompletePending();
    const Span span = Selection().value_or(Span{view_.position, 1});
    if (span.length > MaxCopy) {
        observer_.Tell(Tr("The selection is %1 bytes; Copy takes up to %2 bytes at once. Select "
                          "less, or use Fill Selection or Save As for more.")
                           .arg(span.length)
                           .arg(MaxCopy),
                       Tone::Warning);
        return std::nullopt;
    }
    QByteArray bytes(static_cast<qsizetype>(span.length), Qt::Uninitialized);
    if (Read(span.position, bytes.data(), span.length) != span.length) {
        return std::nullopt;
    }
    if (!hex) {
        QString text;
        text.reserve(bytes.size());
        for (const char byte : bytes) {
            text += platform::FromWindows1252(static_cast<unsigned char>(byte));
        }
        return text;
    }
    return QString::fromLatin1(bytes.toHex(' ').toUpper());
}

bool EditorDocument::Paste(const QString& text, bool hex) {
    if (!loaded_) {
        return false;
    }
    CompletePending();
    QString why;
    const std::optional<QByteArray> parsed =
        hex ? SearchPattern::HexBytes(text, &why) : SearchPattern::TextBytes(text, &why);
    if (!parsed) {
        observer_.Tell(Tr("Nothing was pasted: %1").arg(why), Tone::Warning);
        return false;
    }
    const QByteArray& bytes = *parsed;
    if (bytes.isEmpty()) {
        observer_.Tell(Tr("The clipboard is empty: nothing was pasted."), Tone::Information);
        return false;
    }
    const qint64 at = Selection() ? Selection()->position : view_.position;
    const qint64 room = image_.Length() - at + 1;
    if (bytes.size() > room) {
        observer_.Tell(Tr("%1 bytes do not fit: the paste holds %2 bytes, and %3 are left from "
                          "offset %4 to the end. Nothing was pasted.")
                           .arg(bytes.size() - room)
                           .arg(bytes.size())
                           .arg(room)
                           .arg(OffsetText(OffsetOf(at))),
                       Tone::Warning);
        return false;
    }
    const bool done = Run(savingCaption_, true, [&](const ByteEdits::Progress& progress) {
        edits_.WriteRange(at, bytes.size(), bytes, progress);
    });
    if (done) {
        anchor_ = at;
        view_ = Navigation::Show(view_, at + bytes.size() - 1, image_.Length());
    }
    return done;
}

bool EditorDocument::Fill(const QByteArray& pattern) {
    const std::optional<Span> span = Selection();
    if (!loaded_ || !span || pattern.isEmpty()) {
        return false;
    }
    CompletePending();
    return Run(Tr("Filling... (Esc or Stop ends the fill)"), true,
               [&](const ByteEdits::Progress& progress) {
                   edits_.WriteRange(span->position, span->length, pattern, progress);
               });
}

std::optional<EditorDocument::Sums> EditorDocument::SelectionSums() {
    const std::optional<Span> span = Selection();
    if (!span) {
        return std::nullopt;
    }
    constexpr qint64 Piece = qint64(4) << 20;
    Sums sums;
    quint32 crc = 0;
    quint32 sum = 0;
    QByteArray buffer(static_cast<qsizetype>(std::min(span->length, Piece)), Qt::Uninitialized);
    LateProgress progress(observer_, Tr("Checksums... (Esc or Stop ends them)"));
    bool stopped = false;
    for (qint64 done = 0; done < span->length && !stopped;) {
        const qint64 size = std::min(span->length - done, Piece);
        if (Read(span->position + done, buffer.data(), size) != size) {
            stopped = true;
            break;
        }
        crc = core::Crc32Update(crc, buffer.constData(), size);
        sum += core::ByteSum(QByteArray::fromRawData(buffer.constData(), size));
        done += size;
        // Only a selection of many pieces shows its progress and may be stopped.
        if (done < span->length && done >= 4 * Piece) {
            stopped = !progress(static_cast<int>(100 * done / span->length));
        }
    }
    if (stopped) {
        return std::nullopt;
    }
    sums.crc = crc;
    sums.sum = static_cast<quint16>(sum);
    return sums;
}

// ---- Find and go to ----

std::optional<qint64> EditorDocument::SearchFrom(qint64 from, bool forward) {
    ImageSearch::Result result;
    try {
        LateProgress progress(observer_, Tr("Searching... (Esc or Stop ends the search)"));
        result = ImageSearch::Find(image_, *lastPattern_, from, forward, std::ref(progress));
    } catch (const RuntimeError& error) {
        Fail(error);
        result.outcome = ImageSearch::Outcome::Stopped;
    }
    if (result.outcome == ImageSearch::Outcome::Found) {
        return result.position;
    }
    if (result.outcome == ImageSearch::Outcome::Stopped) {
        return 0;
    }
    return std::nullopt;
}

bool EditorDocument::Find(const SearchPattern& pattern, bool forward) {
    if (!lastPattern_ || lastPattern_->bytes != pattern.bytes ||
        lastPattern_->matchCase != pattern.matchCase) {
        lastMatch_ = 0; // a new pattern may match right at the cursor
    }
    lastPattern_ = pattern;
    return FindAgain(forward);
}

bool EditorDocument::FindAgain(bool forward) {
    if (!loaded_ || !lastPattern_ || observer_.Ending()) {
        return false;
    }
    CompletePending();
    // A search starts at the cursor; when the cursor stands on the last match, beside it.
    const qint64 cursor = view_.position;
    const qint64 from = cursor != lastMatch_ ? cursor : forward ? cursor + 1 : cursor - 1;
    std::optional<qint64> found = SearchFrom(from, forward);
    if (!found) {
        // At the end (or the start), the search may go on from the other end up to where it
        // started.
        const QString question =
            forward ? Tr("\"%1\" was not found from offset %2 to the end of the file. Go on from "
                         "the start?")
                    : Tr("\"%1\" was not found from offset %2 back to the start of the file. Go "
                         "on from the end?");
        if (observer_.Ask(question.arg(lastPattern_->shown, OffsetText(OffsetOf(cursor))), false,
                          Tone::Information, false) != Answer::Yes) {
            return false;
        }
        found = SearchFrom(forward ? 1 : image_.Length(), forward);
        if (found && *found != 0 && (forward ? *found >= from : *found <= from)) {
            found.reset(); // only the matches already passed over are new
        }
        if (!found) {
            observer_.Tell(Tr("\"%1\" was not found in the file.").arg(lastPattern_->shown),
                           Tone::Information);
            return false;
        }
    }
    if (*found == 0) {
        return false; // stopped
    }
    lastMatch_ = *found;
    anchor_.reset();
    view_ = Navigation::Show(view_, *found, image_.Length());
    return true;
}

QString EditorDocument::OffsetText(qint64 offset) const {
    return offsetHex_ ? HexOffset(offset) : QString::number(offset);
}

QString EditorDocument::OffsetRange() const {
    const qint64 first = base_;
    const qint64 last = base_ + image_.Length() - 1;
    return Tr("from %1 to %2 (%3 to %4)")
        .arg(first)
        .arg(last)
        .arg(HexOffset(first), HexOffset(last));
}

bool EditorDocument::GoTo(const QString& text) {
    if (!loaded_) {
        return false;
    }
    CompletePending();
    const std::optional<qint64> offset = CellText::ParseOffset(text);
    QString refusal;
    if (!offset) {
        refusal = Tr("\"%1\" is not an offset. Enter one %2, in decimal or in hex as 1F40h, "
                     "0x1F40 or $1F40.")
                      .arg(text.trimmed(), OffsetRange());
    } else if (*offset < base_ || *offset - base_ >= image_.Length()) {
        refusal =
            Tr("Offset %1 lies outside the file. Enter one %2.").arg(text.trimmed(), OffsetRange());
    }
    if (!refusal.isEmpty()) {
        observer_.Tell(refusal, Tone::Warning);
        return false;
    }
    anchor_.reset();
    view_ = Navigation::Show(view_, *offset - base_ + 1, image_.Length());
    return true;
}

// ---- Compare ----

void EditorDocument::DropCompare() {
    compared_.close();
    comparedLength_ = 0;
    if (!compareImage_.isEmpty()) {
        QFile::remove(compareImage_);
        compareImage_.clear();
    }
    comparePath_.clear();
}

bool EditorDocument::CompareWith(const QString& path) {
    if (!loaded_) {
        return false;
    }
    CompletePending();
    DropCompare();
    // Another program may be writing the file meanwhile: what it held at the start is
    // compared, and a change by the end makes the result void.
    const FileStamp before = StampOf(path);
    QFile theirs;
    const QString why = core::OpenRegularFile(theirs, path);
    if (!why.isEmpty()) {
        observer_.Tell(Tr("Cannot open \"%1\": %2.").arg(path, why), Tone::Warning);
        return false;
    }
    // A records file is compared by the image its records describe, from its first address.
    QString theirName = QFileInfo(path).fileName();
    qint64 theirBase = 0;
    const core::ImageFormat format = core::ImageFormatOfPath(path);
    if (format != core::ImageFormat::Raw) {
        WorkImage decoded(image_.Path() + QStringLiteral(".compare"));
        // Opened again by its name, which the records' messages give.
        QFile named(path);
        if (!named.open(QIODevice::ReadOnly) ||
            !Run(openingCaption_, true, [&](const ByteEdits::Progress& progress) {
                theirBase = decoded.LoadRecords(named, format, progress).base;
            })) {
            return false;
        }
        decoded.Close();
        compareImage_ = decoded.Path();
        theirs.close();
        theirs.setFileName(compareImage_);
        if (!theirs.open(QIODevice::ReadOnly)) {
            observer_.Tell(Tr("Cannot read \"%1\": %2").arg(compareImage_, theirs.errorString()),
                           Tone::Warning);
            DropCompare();
            return false;
        }
    }
    QFile ours(image_.Path());
    if (!ours.open(QIODevice::ReadOnly)) {
        observer_.Tell(Tr("Cannot read the working copy \"%1\": %2")
                           .arg(image_.Path(), core::FileErrorReason(ours)),
                       Tone::Warning);
        DropCompare();
        return false;
    }
    constexpr int Shown = 5;
    ImageCompare::Result result;
    if (!Run(Tr("Comparing... (Esc or Stop ends the comparison)"), true,
             [&](const ByteEdits::Progress& progress) {
                 result = ImageCompare::Compare(ours, theirs, Shown, progress);
             })) {
        DropCompare();
        return false;
    }
    if (const FileStamp after = StampOf(path); !(after == before)) {
        DropCompare();
        const QString changed =
            after.size != before.size
                ? Tr("\"%1\" changed while it was being compared: it held %2 bytes at the start "
                     "and holds %3 now.")
                      .arg(path)
                      .arg(before.size)
                      .arg(after.size)
                : Tr("\"%1\" was written to while it was being compared.").arg(path);
        observer_.Tell(changed + QLatin1Char(' ') +
                           Tr("Another program is changing it: compare again once it has "
                              "finished."),
                       Tone::Warning);
        return false;
    }
    comparePath_ = path;
    compared_.setFileName(compareImage_.isEmpty() ? path : compareImage_);
    if (compared_.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
        comparedLength_ = std::min(result.ourLength, result.theirLength);
    }
    const QString ourName = QFileInfo(source_).fileName();
    QString message;
    if (result.differing == 0 && result.ourLength == result.theirLength) {
        message =
            Tr("%1 and %2 hold the same %3 bytes.").arg(ourName, theirName).arg(result.ourLength);
    } else {
        const qint64 common = std::min(result.ourLength, result.theirLength);
        message = Tr("%1 bytes differ between %2 and %3 in the %4 bytes both have.")
                      .arg(result.differing)
                      .arg(ourName, theirName)
                      .arg(common);
        if (result.ourLength != result.theirLength) {
            message += QLatin1Char(' ') + Tr("%1 is %2 bytes, %3 is %4 bytes.")
                                              .arg(ourName)
                                              .arg(result.ourLength)
                                              .arg(theirName)
                                              .arg(result.theirLength);
        }
        if (theirBase != base_) {
            message += QLatin1Char(' ') +
                       Tr("%1 starts at %2, %3 at %4: each was compared from "
                          "its first byte.")
                           .arg(ourName, OffsetText(base_), theirName, OffsetText(theirBase));
        }
        if (!result.first.isEmpty()) {
            message += QLatin1Char('\n') + (result.differing > result.first.size()
                                                ? Tr("The first differences:")
                                                : Tr("The differences:"));
            for (const ImageCompare::Difference& d : result.first) {
                message +=
                    QLatin1Char('\n') + Tr("%1: %2h here, %3h in %4")
                                            .arg(OffsetText(OffsetOf(d.offset + 1)),
                                                 HexByte(d.ours), HexByte(d.theirs), theirName);
            }
        }
        if (result.differing > 0) {
            message += QLatin1Char('\n') + Tr("F6 and Shift+F6 go to the next and the previous.");
        }
    }
    observer_.Tell(message, Tone::Information);
    if (!result.first.isEmpty()) {
        anchor_.reset();
        view_ = Navigation::Show(view_, result.first.front().offset + 1, image_.Length());
    }
    return true;
}

qint64 EditorDocument::ReadCompared(qint64 position, char* data, qint64 size) {
    const qint64 offset = position - 1;
    if (!compared_.isOpen() || offset >= comparedLength_ || !compared_.seek(offset)) {
        return 0;
    }
    return std::max<qint64>(0, compared_.read(data, std::min(size, comparedLength_ - offset)));
}

bool EditorDocument::NextDifference(bool forward) {
    if (!loaded_ || comparePath_.isEmpty()) {
        return false;
    }
    CompletePending();
    QFile ours(image_.Path());
    QFile theirs(compareImage_.isEmpty() ? comparePath_ : compareImage_);
    if (!ours.open(QIODevice::ReadOnly) || !theirs.open(QIODevice::ReadOnly)) {
        observer_.Tell(Tr("Cannot read \"%1\" to compare: %2")
                           .arg(theirs.fileName(), core::FileErrorReason(theirs)),
                       Tone::Warning);
        return false;
    }
    std::optional<qint64> found;
    const qint64 from = view_.position - 1;
    try {
        LateProgress progress(observer_, Tr("Comparing... (Esc or Stop ends the comparison)"));
        found = ImageCompare::NextDifference(ours, theirs, from, forward, std::ref(progress));
    } catch (const RuntimeError& error) {
        Fail(error);
    }
    if (!found) {
        observer_.Tell(
            (forward ? Tr("No byte differs from %1 after offset %2.")
                     : Tr("No byte differs from %1 before offset %2."))
                .arg(QFileInfo(comparePath_).fileName(), OffsetText(OffsetOf(view_.position))),
            Tone::Information);
        return false;
    }
    anchor_.reset();
    view_ = Navigation::Show(view_, *found + 1, image_.Length());
    return true;
}
