// The Memory window's document: the language texts, File > Open, the copy into the working
// image, and Done.
#include "frmEditor.h"

#include "BusyScope.h"
#include "ClickLabel.h"
#include "common/LangFile.h"
#include "common/Module1.h"
#include "common/OpenDialog.h"
#include "core/RegularFile.h"
#include "grid/Grid.h"
#include "platform/Clock.h"
#include "platform/MessageBoxes.h"
#include "platform/RuntimeError.h"
#include "platform/Services.h"
#include "platform/SettingsStore.h"
#include "widgets/PictureBox.h"

#include <QAction>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QPushButton>

namespace MsgAnswer = platform::MsgAnswer;
namespace MsgStyle = platform::MsgStyle;

namespace {

const QString General = QStringLiteral("General");
const QString LastDirKey = QStringLiteral("LastDir");
// Section of the kept edits: the kept file's name, the user's file it belongs to.
const QString UnsavedSection = QStringLiteral("Unsaved");

} // namespace

const QString frmEditor::OpenFilter = QStringLiteral("All Files (*.bin)|*.bin|(*.hex)|*.hex");

frmEditor::Nested::Nested(frmEditor& editor) : editor_(editor) {
    ++editor_.yielding_;
}

frmEditor::Nested::~Nested() {
    if (--editor_.yielding_ == 0 && editor_.deleteRequested_) {
        editor_.deleteRequested_ = false;
        editor_.deleteLater(); // handled once the routine that yielded has returned
    }
}

void frmEditor::Yield() {
    const Nested nested(*this);
    services_.clock.ProcessEvents(services_.clock.NowMs());
}

int frmEditor::MsgBox(const QString& prompt, int style) {
    const Nested nested(*this);
    return services_.messages.MsgBox(prompt, style, windowTitle());
}

bool frmEditor::event(QEvent* event) {
    // Let go while one of the window's routines waits in Yield (the program is ending): the
    // routine stops at its next step and the window goes after it, never under it.
    if (event->type() == QEvent::DeferredDelete && yielding_ > 0) {
        ending_ = true;
        deleteRequested_ = true;
        stopSearch_ = true;
        image_.Abort();
        return true;
    }
    return QMainWindow::event(event);
}

void frmEditor::ShowError(const platform::RuntimeError& error) {
    MsgBox(QString::number(error.Number()) + QLatin1Char('\n') + error.Description(),
           MsgStyle::OKOnly);
}

// ---- Language texts ----

void frmEditor::LoadLanguage() {
    // A missing file, or a record it lacks, leaves blank or fills with anything but text,
    // keeps the built-in caption.
    QFile file3(Module1::LanguageFilePath());
    if (!file3.open(QIODevice::ReadOnly)) {
        return;
    }
    const auto apply = [&file3](int n, const std::function<void(const QString&)>& set) {
        const std::optional<QString> text = Module1::ReadLangRecord(file3, n);
        if (text && !text->isEmpty()) {
            set(*text);
        }
    };
    apply(1, [this](const QString& t) { setWindowTitle(t); });
    apply(22, [this](const QString& t) { Label1[0]->setText(t); });
    apply(23, [this](const QString& t) { Label1[2]->setText(t); });
    apply(25, [this](const QString& t) { Label1[3]->setText(t); });
    apply(21, [this](const QString& t) { Label1[8]->setText(t); });
    apply(24, [this](const QString& t) { Label1[9]->setText(t); });
    apply(33, [this](const QString& t) {
        lblInfo[4]->setText(QStringLiteral("0 ") + t + QStringLiteral(" 0"));
        LangText[0] = t;
    });
    apply(32, [this](const QString& t) { lblInfo[7]->setText(t); });
    apply(20, [this](const QString& t) { Label2[16]->setText(t); });
    apply(34, [this](const QString& t) { mn_0->setTitle(t); });
    apply(35, [this](const QString& t) { sm1_0->setText(t); });
    apply(127, [this](const QString& t) { LangText[3] = t; });
    apply(128, [this](const QString& t) { LangText[4] = t; });
    apply(129, [this](const QString& t) { LangText[5] = t; });
}

// ---- Open ----

void frmEditor::OpenWithDialog() {
    if (busy_ || finished_) {
        return;
    }
    CompletePending();
    const QString initialDir =
        services_.settings.GetSetting(General, LastDirKey, Module1::AppFolder);
    QString path;
    {
        const Nested nested(*this);
        path = Module1::ShowOpenDialog(services_.dialogs, OpenFilter, windowTitle(), initialDir);
    }
    if (path.isEmpty() || ending_) {
        return;
    }
    services_.settings.SaveSetting(General, LastDirKey, Module1::FolderOf(path));
    // Until the new file is known to be usable and the user has settled the old changes,
    // the editor keeps what it shows.
    if (!CanOpen(path) || !SaveOrDiscardChanges()) {
        return;
    }
    Yield();
    if (ending_) {
        return;
    }
    image_.Close(); // the previous working image
    SourceFileName = path;
    if (!OpenFile(SourceFileName)) {
        ShowNoFile();
        return;
    }
    ShowOpened();
}

void frmEditor::ShowOpened() {
    FillGrid();
    EnableEditor();
    grid1->Reset();
    grid2->Reset();
    PicHex->setFocus();
}

bool frmEditor::CanOpen(const QString& path) {
    QFile file;
    bool special = false;
    const QString why = core::OpenRegularFile(file, path, &special);
    QString refusal;
    if (special) {
        refusal = tr("Cannot open \"%1\": %2.\nThe editor opens files only.").arg(path, why);
    } else if (!why.isEmpty()) {
        refusal = tr("Cannot open \"%1\": %2.\nChoose a file you may read.").arg(path, why);
    } else if (file.size() == 0) {
        refusal = tr("\"%1\" is empty: there is nothing to edit.").arg(path);
    } else if (IsWorkImage(path)) {
        refusal = tr("\"%1\" is the editor's own working copy. Choose another file.").arg(path);
    }
    if (!refusal.isEmpty()) {
        MsgBox(refusal, MsgStyle::Exclamation);
        return false;
    }
    return true;
}

bool frmEditor::IsWorkImage(const QString& path) const {
    const QString canonical = QFileInfo(path).canonicalFilePath();
    if (canonical.isEmpty()) {
        return false;
    }
    for (const QString& image : {image_.Path(), Module1::WorkImagePath()}) {
        if (!image.isEmpty() && canonical == QFileInfo(image).canonicalFilePath()) {
            return true;
        }
    }
    return false;
}

bool frmEditor::SaveOrDiscardChanges() {
    if (!FileLoaded || !Modified()) {
        return true;
    }
    return !AskToSave() || WriteTo(SourceFileName);
}

QString frmEditor::DoneQuestion() const {
    return QLatin1Char('"') + SourceFileName + QStringLiteral("\" ") + LangText[3];
}

bool frmEditor::AskToSave() {
    return MsgBox(DoneQuestion(), MsgStyle::YesNo | MsgStyle::Question) == MsgAnswer::Yes;
}

bool frmEditor::OpenFile(const QString& FileName) {
    return OpenFile(FileName, FileName);
}

bool frmEditor::OpenFile(const QString& FileName, const QString& bytesFrom) {
    Label7->setText(FileName);
    Label7->setToolTip(FileName);
    FileLoaded = false;
    QFile source;
    const QString why = core::OpenRegularFile(source, bytesFrom);
    if (!why.isEmpty()) {
        MsgBox(tr("Cannot open \"%1\": %2.").arg(bytesFrom, why), MsgStyle::Exclamation);
        return false;
    }
    if (source.size() == 0) {
        MsgBox(tr("\"%1\" is empty: there is nothing to edit.").arg(bytesFrom),
               MsgStyle::Exclamation);
        return false;
    }
    sourceStamp_ = StampOf(FileName);
    FileLoaded = true;
    const bool loaded = LoadWorkImage(source, bytesFrom);
    source.close();
    Picture1->hide();
    if (!loaded) {
        FileLoaded = false;
        return false;
    }
    PageStart = 1;
    edits_.Clear();
    pending_ = PendingDigit();
    lastMatch_ = 0;
    grid1->SetMax(image_.Length());
    grid2->SetMax(image_.Length());
    lblInfo[5]->setText(QString::number(image_.Length()));
    lblInfo[8]->setText(QString::number(BytesPerPage));
    return true;
}

bool frmEditor::LoadWorkImage(QFile& source, const QString& name) {
    StartProgress(LangText[5]);
    Yield();
    if (ending_) {
        return false;
    }
    // The image's place is settled at each open: another user may have taken its name.
    const QString path = Module1::WorkImagePath();
    if (!image_.Path().isEmpty() && image_.Path() != path) {
        image_.Remove();
    }
    image_.SetPath(path);
    try {
        BusyScope busy(busy_);
        image_.Load(
            source, [this](int percent) { ShowProgress(percent); }, name);
    } catch (const platform::RuntimeError& error) {
        if (error.Number() != platform::ErrorNumber::CancelError) {
            ShowError(error);
        }
        return false;
    }
    return true;
}

void frmEditor::StartProgress(const QString& caption) {
    Picture1->Cls();
    Picture1->Refresh();
    shownPercent_ = 0;
    Label8->setText(caption);
    Picture1->show();
}

void frmEditor::ShowProgress(int percent) {
    // A large file reports the same percentage for many pieces in a row: the bar is drawn
    // again only when it grows, and the window handles its events then, or when 5 ms have
    // passed (a thousand yields a second cost a tenth of a copy's speed, and show nothing).
    const double now = services_.clock.NowMs();
    if (percent != shownPercent_) {
        shownPercent_ = percent;
        const int width = qRound(Picture1->ScaleWidth() / 100.0 * percent);
        Picture1->FillBox(QRect(0, 0, width, Picture1->ScaleHeight()), Picture1->ForeColor());
        Picture1->Refresh();
    } else if (now - lastYieldMs_ < 5) {
        return;
    }
    lastYieldMs_ = now;
    Yield();
}

void frmEditor::EnableEditor() {
    const QList<QAction*> actions = findChildren<QAction*>();
    for (QAction* action : actions) {
        action->setEnabled(true);
    }
    UpdateEditActions();
    PicHex->setEnabled(true);
    PicText->setEnabled(true);
    Shape1->SetVisible(true);
    Shape2->SetVisible(true);
    Sign[0]->show();
    Sign[1]->show();
    lblSelect->setEnabled(true);
}

void frmEditor::ShowNoFile() {
    // The working image is gone: back to the state before any open.
    FileLoaded = false;
    edits_.Clear();
    pending_ = PendingDigit();
    for (QAction* action :
         {mnuSave, mnuSaveAs, mnuUndo, mnuRedo, mnuFind, mnuFindNext, mnuFindPrevious, mnuGoTo}) {
        action->setEnabled(false);
    }
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
}

void frmEditor::CloseAllFiles() {
    // Whatever runs stops at its next step and nothing new starts: no write-back, no box.
    ending_ = true;
    FileLoaded = false;
    stopSearch_ = true;
    image_.Close();
}

// ---- The program's end ----

std::optional<QString> frmEditor::KeepUnsavedChanges() {
    if (!FileLoaded || finished_ || image_.Path().isEmpty()) {
        return std::nullopt;
    }
    try {
        CompletePending();
    } catch (const platform::RuntimeError&) {
        // The half-typed byte could not be written; the other edits are still worth keeping.
    }
    if (!Modified()) {
        return std::nullopt;
    }
    const QString kept = Module1::KeptChangesPath(SourceFileName);
    QFile::remove(kept);
    // A rename within the folder: the copy under way, if any, reads on through its handle.
    QFile image(image_.Path());
    if (!image.rename(kept)) {
        throw platform::RuntimeError(platform::ErrorNumber::PathFileAccess,
                                     tr("The unsaved changes of %1 could not be kept in %2: %3")
                                         .arg(SourceFileName, kept, image.errorString()));
    }
    services_.settings.SaveSetting(UnsavedSection, QFileInfo(kept).fileName(), SourceFileName);
    return kept;
}

bool frmEditor::SettleBeforeEnd() {
    if (finished_ || !FileLoaded || busy_) {
        return true; // a copy under way blocks the close itself
    }
    CompletePending();
    if (!Modified()) {
        return true;
    }
    switch (MsgBox(DoneQuestion(), MsgStyle::YesNoCancel | MsgStyle::Question)) {
    case MsgAnswer::Yes:
        return WriteTo(SourceFileName);
    case MsgAnswer::No:
        return true;
    default:
        return false;
    }
}

void frmEditor::OfferKeptChanges() {
    const QDir folder(QFileInfo(Module1::WorkImagePath()).path());
    const QFileInfoList kept = folder.entryInfoList({QLatin1Char('*') + Module1::KeptChangesSuffix},
                                                    QDir::Files | QDir::Hidden, QDir::Time);
    for (const QFileInfo& copy : kept) {
        const QString source = services_.settings.GetSetting(UnsavedSection, copy.fileName());
        if (source.isEmpty() || !copy.isReadable()) {
            continue; // not this user's, or its file is not known: left alone
        }
        const QDateTime when = copy.lastModified();
        const QString time = when.date() == QDate::currentDate()
                                 ? when.toString(QStringLiteral("HH:mm"))
                                 : when.toString(QStringLiteral("yyyy-MM-dd HH:mm"));
        const bool open = MsgBox(tr("Unsaved changes of %1 from %2 were kept. Open them?")
                                     .arg(QFileInfo(source).fileName(), time),
                                 MsgStyle::YesNo | MsgStyle::Question) == MsgAnswer::Yes;
        if (ending_ || finished_) {
            return; // the program ended under the question: offered again next time
        }
        if (open && !OpenFile(source, copy.filePath())) {
            ShowNoFile(); // the kept file stays, offered again at the next start
            return;
        }
        // The bytes are in the working image now, or not wanted.
        QFile::remove(copy.filePath());
        services_.settings.SaveSetting(UnsavedSection, copy.fileName(), QString());
        if (open) {
            SourceFileName = source;
            edits_.MarkUnsaved();
            ShowOpened();
            return;
        }
    }
}

// ---- Done ----

void frmEditor::mnuDone_Click() {
    if (busy_ || finished_) {
        return;
    }
    CompletePending();
    // The window stays up, its progress bar seen, until the edits are written; when they
    // cannot be, it stays with them for another try.
    if (Modified() && AskToSave() && !WriteTo(SourceFileName)) {
        return;
    }
    if (ending_) {
        return; // the program's end closes the windows
    }
    hide();
    if (showMain_) {
        showMain_();
    }
    CloseAllFiles();
    image_.Remove();
    finished_ = true;
    deleteLater();
}

void frmEditor::closeEvent(QCloseEvent* event) {
    if (finished_) {
        event->accept();
        return;
    }
    // The close box is Done; the window goes (or stays, after a failed write) from there.
    event->ignore();
    mnuDone_Click();
}
