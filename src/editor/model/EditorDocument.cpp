#include "EditorDocument.h"

#include "EditorObserver.h"
#include "core/FileErrors.h"
#include "core/FileReplace.h"
#include "core/RegularFile.h"
#include "platform/RuntimeError.h"

#include <QCoreApplication>
#include <QFileInfo>

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

} // namespace

EditorDocument::EditorDocument(EditorObserver& observer, QString workImagePath)
    : observer_(observer), image_(std::move(workImagePath)) {}

EditorDocument::~EditorDocument() {
    edits_.Clear();
}

void EditorDocument::Fail(const RuntimeError& error) {
    if (error.Number() != ErrorNumber::CancelError) {
        observer_.Fail(error);
    }
}

bool EditorDocument::Run(const QString& caption, bool stoppable,
                         const std::function<void(const ByteEdits::Progress&)>& work) {
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

void EditorDocument::CompletePending() {
    if (session_ != nullptr) {
        session_->CompletePending();
    }
}

void EditorDocument::FileChanges() {
    if (session_ != nullptr) {
        session_->FileChanges();
    }
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
    sourceStamp_ = StampOf(path);
    FileChanges();
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
        if (now.exists && !(now == sourceStamp_) &&
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
            sourceStamp_ = StampOf(source_);
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
    FileChanges();
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

// ---- The bytes and their history ----

bool EditorDocument::Write(qint64 position, unsigned char value) {
    try {
        edits_.Write(position, value);
        return true;
    } catch (const RuntimeError& error) {
        Fail(error);
        return false;
    }
}

bool EditorDocument::WriteRange(const QString& caption, qint64 position, qint64 length,
                                const QByteArray& data) {
    return Run(caption, true, [&](const ByteEdits::Progress& progress) {
        edits_.WriteRange(position, length, data, progress);
    });
}

bool EditorDocument::WriteRanges(const QList<QPair<qint64, QByteArray>>& ranges) {
    try {
        edits_.WriteRanges(ranges);
        return true;
    } catch (const RuntimeError& error) {
        Fail(error);
        return false;
    }
}

std::optional<EditorDocument::Span> EditorDocument::Step(bool redo) {
    try {
        return redo ? edits_.Redo() : edits_.Undo();
    } catch (const RuntimeError& error) {
        Fail(error);
        return std::nullopt;
    }
}
