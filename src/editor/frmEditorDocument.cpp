// The Memory window's document: the language texts, File > Open, the copy into the working
// image and back, and Done.
#include "frmEditor.h"

#include "ClickLabel.h"
#include "InputBlocker.h"
#include "common/LangFile.h"
#include "common/Module1.h"
#include "common/OpenDialog.h"
#include "grid/Grid.h"
#include "platform/Clock.h"
#include "platform/MessageBoxes.h"
#include "platform/PictureBox.h"
#include "platform/RuntimeError.h"
#include "platform/Services.h"
#include "platform/SettingsStore.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QFileInfo>
#include <QMenu>

namespace MsgAnswer = platform::MsgAnswer;
namespace MsgStyle = platform::MsgStyle;

namespace {

const QString OpenFilter = QStringLiteral("All Files (*.bin)|*.bin|(*.hex)|*.hex");
const QString General = QStringLiteral("General");
const QString LastDirKey = QStringLiteral("LastDir");

// Marks the window busy with a copy for as long as it lives.
class BusyScope {
public:
    explicit BusyScope(bool& busy) : busy_(busy) {
        busy_ = true;
        QApplication::setOverrideCursor(Qt::WaitCursor);
    }
    ~BusyScope() {
        QApplication::restoreOverrideCursor();
        busy_ = false;
    }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

private:
    bool& busy_;
    InputBlocker blocker_;
};

} // namespace

void frmEditor::Yield() {
    services_.clock.ProcessEvents(services_.clock.NowMs());
}

void frmEditor::ShowError(const platform::RuntimeError& error) {
    services_.messages.MsgBox(QString::number(error.Number()) + QLatin1Char('\n') +
                                  error.Description(),
                              MsgStyle::OKOnly, windowTitle());
}

// ---- Language texts ----

void frmEditor::LoadLanguage() {
    // A missing file, or a record it lacks or leaves blank, keeps the design caption.
    QFile file3(Module1::AppFolder + Module1::LanguageFile);
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
    const QString path =
        Module1::ShowOpenDialog(services_.dialogs, OpenFilter, windowTitle(), initialDir);
    if (path.isEmpty()) {
        return;
    }
    services_.settings.SaveSetting(General, LastDirKey, Module1::FolderOf(path));
    // Until the new file is known to be usable and the user has settled the old changes,
    // the editor keeps what it shows.
    if (!CanOpen(path) || !SaveOrDiscardChanges()) {
        return;
    }
    Yield();
    CloseAllFiles();
    SourceFileName = path;
    if (!OpenFile(SourceFileName)) {
        ShowNoFile();
        return;
    }
    FillGrid();
    EnableEditor();
    grid1->Reset();
    grid2->Reset();
    PicHex->setFocus();
}

bool frmEditor::CanOpen(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        services_.messages.MsgBox(tr("Cannot open \"%1\": %2.\nChoose a file you may read.")
                                      .arg(path, file.errorString()),
                                  MsgStyle::Exclamation, windowTitle());
        return false;
    }
    if (file.size() == 0) {
        services_.messages.MsgBox(tr("\"%1\" is empty: there is nothing to edit.").arg(path),
                                  MsgStyle::Exclamation, windowTitle());
        return false;
    }
    const QString canonical = QFileInfo(path).canonicalFilePath();
    if (!canonical.isEmpty() && canonical == QFileInfo(image_.Path()).canonicalFilePath()) {
        services_.messages.MsgBox(
            tr("\"%1\" is the editor's own working copy. Choose another file.").arg(path),
            MsgStyle::Exclamation, windowTitle());
        return false;
    }
    return true;
}

bool frmEditor::SaveOrDiscardChanges() {
    if (!FileLoaded || !Modified) {
        return true;
    }
    return !AskToSave() || SaveBack();
}

bool frmEditor::AskToSave() {
    const QString prompt = QLatin1Char('"') + SourceFileName + QStringLiteral("\" ") + LangText[3];
    return services_.messages.MsgBox(prompt, MsgStyle::YesNo | MsgStyle::Question, windowTitle()) ==
           MsgAnswer::Yes;
}

bool frmEditor::OpenFile(const QString& FileName) {
    Label7->setText(FileName);
    Label7->setToolTip(FileName);
    FileLoaded = false;
    QFile source(FileName);
    if (!source.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
        services_.messages.MsgBox(tr("Cannot open \"%1\": %2.").arg(FileName, source.errorString()),
                                  MsgStyle::Exclamation, windowTitle());
        return false;
    }
    if (source.size() == 0) {
        services_.messages.MsgBox(tr("\"%1\" is empty: there is nothing to edit.").arg(FileName),
                                  MsgStyle::Exclamation, windowTitle());
        return false;
    }
    FileLoaded = true;
    Picture1->show();
    const bool loaded = LoadWorkImage(source);
    source.close();
    Picture1->hide();
    if (!loaded) {
        FileLoaded = false;
        return false;
    }
    PageStart = 1;
    Modified = false;
    pending_ = PendingDigit();
    grid1->SetMax(image_.Length());
    grid2->SetMax(image_.Length());
    lblInfo[5]->setText(QString::number(image_.Length()));
    lblInfo[8]->setText(QString::number(BytesPerPage));
    return true;
}

bool frmEditor::LoadWorkImage(QFile& source) {
    Picture1->Cls();
    Picture1->Refresh();
    shownPercent_ = 0;
    Label8->setText(LangText[5]);
    Yield();
    try {
        BusyScope busy(busy_);
        image_.Load(source, [this](int percent) { ShowProgress(percent); });
    } catch (const platform::RuntimeError& error) {
        if (error.Number() != platform::ErrorNumber::CancelError) {
            ShowError(error);
        }
        return false;
    }
    return true;
}

bool frmEditor::SaveBack() {
    if (!FileLoaded || !Modified) {
        return true;
    }
    Picture1->Cls();
    Picture1->Refresh();
    shownPercent_ = 0;
    Label8->setText(LangText[4]);
    Picture1->show();
    bool saved = false;
    try {
        BusyScope busy(busy_);
        image_.SaveTo(SourceFileName, [this](int percent) { ShowProgress(percent); });
        Modified = false;
        saved = true;
    } catch (const platform::RuntimeError& error) {
        ShowError(error);
    }
    Picture1->hide();
    return saved;
}

void frmEditor::ShowProgress(int percent) {
    // A large file reports the same percentage for many pieces in a row; the bar is drawn
    // again only when it grows.
    if (percent != shownPercent_) {
        shownPercent_ = percent;
        const int width = qRound(Picture1->ScaleWidth() / 100.0 * percent);
        Picture1->FillBox(QRect(0, 0, width, Picture1->ScaleHeight()), Picture1->ForeColor());
        Picture1->Refresh();
    }
    Yield();
}

void frmEditor::EnableEditor() {
    const QList<QAction*> actions = findChildren<QAction*>();
    for (QAction* action : actions) {
        action->setEnabled(true);
    }
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
    Modified = false;
    pending_ = PendingDigit();
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
    image_.Close();
}

// ---- Done ----

void frmEditor::mnuDone_Click() {
    if (busy_ || finished_) {
        return;
    }
    CompletePending();
    hide();
    if (showMain_) {
        showMain_();
    }
    if (Modified) {
        if (AskToSave() && !SaveBack()) {
            // The edits could not be written: keep them, and the editor, for another try.
            if (hideMain_) {
                hideMain_();
            }
            show();
            activateWindow();
            return;
        }
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
