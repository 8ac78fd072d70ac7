// The menus' commands: File (Open, Save, Save As, Compare With), Edit (Undo, Redo, Copy,
// Paste, Fill Selection, Select All, Advance, Find, Go To, the differences) and Done; and the
// program's end as the editor sees it.
#include "frmEditor.h"

#include "FindDialog.h"
#include "GoToDialog.h"
#include "OpenDialog.h"
#include "common/Module1.h"
#include "platform/FileDialogs.h"
#include "platform/MessageBoxes.h"
#include "platform/RuntimeError.h"
#include "platform/Services.h"
#include "platform/SettingsStore.h"
#include "widgets/PictureBox.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTime>

namespace MsgAnswer = platform::MsgAnswer;
namespace MsgStyle = platform::MsgStyle;
using Pane = EditSession::Pane;

namespace {

const QString General = QStringLiteral("General");
const QString LastDirKey = QStringLiteral("LastDir");
// Section of the kept edits: the kept file's name, the user's file it belongs to.
const QString UnsavedSection = QStringLiteral("Unsaved");

} // namespace

const QString frmEditor::OpenFilter =
    QStringLiteral("Images (*.bin *.hex *.ihx *.ihex *.srec *.s19 *.s28 *.s37 *.mot)|"
                   "*.bin;*.hex;*.ihx;*.ihex;*.srec;*.s19;*.s28;*.s37;*.mot|All files (*)|*");

// ---- File ----

void frmEditor::OpenWithDialog() {
    if (busy_ || finished_) {
        return;
    }
    session_.CompletePending();
    // The folder a dialog of this run last chose from (the programmer's READ, say), else the
    // one the editor's Open last chose from.
    const QString initialDir =
        services_.dialogs.LastFolder().isEmpty()
            ? services_.settings.GetSetting(General, LastDirKey, places_.appFolder)
            : Module1::WithTrailingSeparator(
                  QDir::toNativeSeparators(services_.dialogs.LastFolder()));
    QString path;
    {
        const Nested nested(*this, true);
        path = Module1::ShowOpenDialog(services_.dialogs, OpenFilter, caption_, initialDir);
    }
    if (path.isEmpty() || ending_) {
        return;
    }
    services_.settings.SaveSetting(General, LastDirKey, Module1::FolderOf(path));
    // Until the new file is known to be usable and the user has settled the old changes,
    // the editor keeps what it shows.
    if (!document_.CanOpen(path) || !document_.SettleChanges(false) || ending_) {
        return;
    }
    OpenFile(path);
}

bool frmEditor::OpenFile(const QString& path) {
    Label7->setText(path);
    // The image's place is settled at each open: another user may have taken its name.
    document_.SetWorkImagePath(Module1::WorkImagePath());
    if (!document_.Open(path)) {
        ShowNoFile();
        return false;
    }
    BytesChanged();
    ShowOpened();
    return true;
}

void frmEditor::mnuSave_Click() {
    if (!Ready()) {
        return;
    }
    session_.CompletePending();
    BytesChanged(); // a half-typed byte is whole now
    if (!document_.Modified()) {
        statusBar()->showMessage(tr("Nothing to save: %1 holds every edit.")
                                     .arg(QFileInfo(document_.SourceName()).fileName()));
    } else if (SettleChecksums() && document_.Save()) {
        ShowWritten();
    }
    ShowDocument();
}

void frmEditor::mnuSaveAs_Click() {
    if (Ready() && SettleChecksums() && document_.SaveAs()) {
        ShowWritten();
    }
    ShowDocument();
}

void frmEditor::ShowWritten() {
    // The file holds the fields as they are now: a checksum left wrong on purpose is not
    // asked about again.
    fields_.SetBaseline(document_);
    statusBar()->showMessage(
        tr("Saved: %1, %2")
            .arg(document_.LastWritten(), QTime::currentTime().toString(QStringLiteral("HH:mm"))));
}

void frmEditor::mnuDone_Click() {
    if (busy_ || finished_) {
        return;
    }
    // The window stays up, its progress bar seen, until the edits are written; when they
    // cannot be, or the user cancels, it stays with them.
    if (!document_.SettleChanges(true)) {
        ShowDocument();
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
    document_.Remove();
    finished_ = true;
    deleteLater();
}

void frmEditor::closeEvent(QCloseEvent* event) {
    if (finished_) {
        event->accept();
        return;
    }
    // The close box is Done; the window goes (or stays, after Cancel or a failed write) from
    // there.
    event->ignore();
    mnuDone_Click();
}

void frmEditor::mnuCompare_Click() {
    if (!Ready()) {
        return;
    }
    QString path;
    {
        const Nested nested(*this, true);
        path = Module1::ShowOpenDialog(services_.dialogs, OpenFilter, tr("Compare With"),
                                       Module1::FolderOf(document_.SourceName()));
    }
    if (path.isEmpty() || ending_) {
        return;
    }
    session_.CompareWith(path);
    changed_ = true; // the page is drawn again with the differences marked
    ShowDocument();
}

void frmEditor::NextDifference(bool forward) {
    if (Ready() && session_.Comparing()) {
        session_.NextDifference(forward);
        ShowDocument();
    }
}

// ---- Edit ----

void frmEditor::mnuUndo_Click() {
    if (Ready() && session_.Undo()) {
        BytesChanged();
    }
    ShowDocument();
}

void frmEditor::mnuRedo_Click() {
    if (Ready() && session_.Redo()) {
        BytesChanged();
    }
    ShowDocument();
}

void frmEditor::mnuCopy_Click() {
    if (!Ready()) {
        return;
    }
    if (const std::optional<QString> text = session_.Copy(session_.ActivePane() != Pane::Text)) {
        QApplication::clipboard()->setText(*text);
    }
    ShowDocument();
}

void frmEditor::mnuPaste_Click() {
    if (!Ready()) {
        return;
    }
    if (session_.Paste(QApplication::clipboard()->text(), session_.ActivePane() != Pane::Text)) {
        BytesChanged();
    }
    ShowDocument();
}

void frmEditor::mnuFill_Click() {
    if (!Ready() || !session_.Selection()) {
        return;
    }
    std::optional<QString> text;
    {
        const Nested nested(*this, true);
        text = services_.messages.InputBox(
            tr("Fill the %1 selected bytes with a byte or a pattern, in hex (FF, or DE AD BE EF):")
                .arg(session_.Selection()->length),
            tr("Fill Selection"), QStringLiteral("FF"));
    }
    if (!text || ending_) {
        return;
    }
    QString why;
    const std::optional<QByteArray> pattern = SearchPattern::HexBytes(*text, &why);
    if (!pattern || pattern->isEmpty()) {
        Tell(pattern ? tr("Enter a byte or a pattern to fill with, in hex.") : why, Tone::Warning);
        return;
    }
    if (session_.Fill(*pattern)) {
        BytesChanged();
    }
    ShowDocument();
}

void frmEditor::mnuSelectAll_Click() {
    if (Ready()) {
        session_.SelectAll();
        ShowDocument();
    }
}

void frmEditor::mnuAdvance_Toggled(bool on) {
    session_.SetAdvance(on);
    services_.settings.SaveSetting(QStringLiteral("Editor"), QStringLiteral("AdvanceAfterByte"),
                                   on ? QStringLiteral("1") : QStringLiteral("0"));
}

void frmEditor::mnuFind_Click() {
    if (!Ready()) {
        return;
    }
    if (!findDialog_) {
        findDialog_ = new FindDialog(this);
        connect(findDialog_, &FindDialog::FindNext, this, &frmEditor::FindDialog_FindNext);
        // F3 and Shift+F3 work in the dialog as well as in the window.
        findDialog_->addAction(mnuFindNext_);
        findDialog_->addAction(mnuFindPrevious_);
    }
    // What to find starts as the pane the user works in calls for, and keeps the kind last
    // used for the rest of the session.
    const bool hex = findChosen_ ? findHex_ : session_.ActivePane() != Pane::Text;
    findDialog_->optHex->setChecked(hex);
    findDialog_->optText->setChecked(!hex);
    findDialog_->show();
    findDialog_->raise();
    findDialog_->activateWindow();
    findDialog_->txtFind->setFocus();
    findDialog_->txtFind->selectAll();
}

void frmEditor::FindDialog_FindNext(bool forward) {
    QString error;
    const QString text = findDialog_->txtFind->text();
    findHex_ = findDialog_->optHex->isChecked();
    findChosen_ = true;
    const std::optional<SearchPattern> pattern =
        findHex_ ? SearchPattern::FromHex(text, &error)
                 : SearchPattern::FromText(text, findDialog_->chkMatchCase->isChecked(), &error);
    if (!pattern) {
        Tell(error, Tone::Warning);
        return;
    }
    if (Ready()) {
        session_.Find(*pattern, forward);
        ShowDocument();
    }
}

void frmEditor::FindNext(bool forward) {
    if (!Ready()) {
        return;
    }
    if (!session_.HasPattern()) {
        mnuFind_Click();
        return;
    }
    session_.FindAgain(forward);
    ShowDocument();
}

void frmEditor::mnuGoTo_Click() {
    if (!Ready()) {
        return;
    }
    if (!goToDialog_) {
        goToDialog_ = new GoToDialog(this);
        connect(goToDialog_, &GoToDialog::Go, this, [this](const QString& text) {
            if (Ready() && session_.GoTo(text)) {
                ShowDocument();
                goToDialog_->accept();
            }
        });
    }
    goToDialog_->lblRange->setText(tr("&Offset %1, in decimal or in hex as 1F40h, 0x1F40 or $1F40:")
                                       .arg(document_.OffsetRange()));
    goToDialog_->txtOffset->clear();
    goToDialog_->open();
}

// ---- The program's end ----

void frmEditor::CloseAllFiles() {
    // Whatever runs stops at its next step and nothing new starts: no write-back, no box.
    ending_ = true;
    stop_ = true;
    document_.Close();
}

std::optional<QString> frmEditor::KeepUnsavedChanges() {
    if (!document_.Loaded() || finished_ || document_.Image().Path().isEmpty()) {
        return std::nullopt;
    }
    session_.CompletePending(); // a failure is told; the other edits are still worth keeping
    if (!document_.Modified()) {
        return std::nullopt;
    }
    const QString kept = Module1::KeptChangesPath(document_.SourceName());
    QString why;
    if (!document_.KeepImageAt(kept, &why)) {
        throw platform::RuntimeError(platform::ErrorNumber::PathFileAccess,
                                     tr("The unsaved changes of %1 could not be kept in %2: %3")
                                         .arg(document_.SourceName(), kept, why));
    }
    services_.settings.SaveSetting(UnsavedSection, QFileInfo(kept).fileName(),
                                   document_.SourceName());
    return kept;
}

bool frmEditor::SettleBeforeEnd() {
    if (finished_ || !document_.Loaded() || busy_) {
        return true; // a copy under way blocks the close itself
    }
    return document_.SettleChanges(true);
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
        if (open) {
            document_.SetWorkImagePath(Module1::WorkImagePath());
        }
        if (open && !document_.Open(source, copy.filePath())) {
            ShowNoFile(); // the kept file stays, offered again at the next start
            return;
        }
        // The bytes are in the working image now, or not wanted.
        QFile::remove(copy.filePath());
        services_.settings.SaveSetting(UnsavedSection, copy.fileName(), QString());
        if (open) {
            document_.MarkUnsaved();
            BytesChanged();
            ShowOpened();
            return;
        }
    }
}
