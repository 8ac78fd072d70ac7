// Writing the edits back: File > Save, File > Save As and Done's Yes, each an atomic replace
// of the target with the progress bar shown; asking first when another program changed the
// user's file, and offering another file when the write fails.
#include "frmEditor.h"

#include "BusyScope.h"
#include "common/Module1.h"
#include "common/OpenDialog.h"
#include "platform/FileDialogs.h"
#include "platform/MessageBoxes.h"
#include "platform/RuntimeError.h"
#include "platform/Services.h"
#include "widgets/PictureBox.h"

#include <QFileInfo>
#include <QLabel>

namespace MsgAnswer = platform::MsgAnswer;
namespace MsgStyle = platform::MsgStyle;

frmEditor::FileStamp frmEditor::StampOf(const QString& path) {
    const QFileInfo info(path);
    if (!info.exists()) {
        return {};
    }
    return {true, info.size(), info.lastModified()};
}

void frmEditor::mnuSave_Click() {
    if (busy_ || finished_ || !FileLoaded) {
        return;
    }
    CompletePending();
    if (Modified()) {
        WriteTo(SourceFileName);
    }
}

void frmEditor::mnuSaveAs_Click() {
    if (busy_ || finished_ || !FileLoaded) {
        return;
    }
    CompletePending();
    if (const std::optional<QString> target = AskSaveAsTarget()) {
        WriteTo(*target);
    }
}

bool frmEditor::WriteTo(QString target) {
    for (;;) {
        const bool ownFile =
            QFileInfo(target).absoluteFilePath() == QFileInfo(SourceFileName).absoluteFilePath();
        if (ownFile && !ConfirmReplace()) {
            return false;
        }
        const std::optional<platform::RuntimeError> failure = SaveBack(target);
        if (!failure) {
            return true;
        }
        if (failure->Number() == platform::ErrorNumber::CancelError || !OfferSaveAs(*failure)) {
            return false;
        }
        const std::optional<QString> other = AskSaveAsTarget();
        if (!other) {
            return false;
        }
        target = *other;
    }
}

bool frmEditor::ConfirmReplace() {
    // A file that is gone holds nothing to lose: the write makes it again.
    const FileStamp now = StampOf(SourceFileName);
    if (!now.exists || now == sourceStamp_) {
        return true;
    }
    return MsgBox(tr("%1 was changed by another program after it was opened. Replace it with your "
                     "edited copy?")
                      .arg(SourceFileName),
                  MsgStyle::YesNo | MsgStyle::Exclamation | MsgStyle::DefaultButton2) ==
           MsgAnswer::Yes;
}

bool frmEditor::OfferSaveAs(const platform::RuntimeError& failure) {
    const QString prompt =
        QString::number(failure.Number()) + QLatin1Char('\n') + failure.Description() +
        QStringLiteral("\n\n") +
        tr("Your edits are still in the editor. Save them in another file (Save As...)?");
    return MsgBox(prompt, MsgStyle::YesNo | MsgStyle::Exclamation) == MsgAnswer::Yes;
}

std::optional<QString> frmEditor::AskSaveAsTarget() {
    platform::FileDialogOptions options;
    options.title = tr("Save As");
    options.filter = Module1::DialogFilter(OpenFilter);
    options.defaultExt = QStringLiteral("bin");
    options.initialDir = Module1::FolderOf(SourceFileName);
    options.confirmOverwrite = true;
    std::optional<QString> target;
    {
        const Nested nested(*this);
        target = services_.dialogs.ShowSave(options);
    }
    if (ending_) {
        return std::nullopt;
    }
    if (!target || target->isEmpty()) {
        return std::nullopt;
    }
    const QFileInfo info(*target);
    QString refusal;
    if (IsWorkImage(*target)) {
        refusal = tr("\"%1\" is the editor's own working copy. Choose another file.").arg(*target);
    } else if (info.exists() && !info.isFile()) {
        refusal =
            tr("\"%1\" is not a file (a folder, a pipe or a device). Choose a file.").arg(*target);
    }
    if (!refusal.isEmpty()) {
        MsgBox(refusal, MsgStyle::Exclamation);
        return std::nullopt;
    }
    return target;
}

std::optional<platform::RuntimeError> frmEditor::SaveBack(const QString& target) {
    if (ending_) {
        return platform::RuntimeError(platform::ErrorNumber::CancelError,
                                      tr("The program is ending."));
    }
    StartProgress(LangText[4]);
    std::optional<platform::RuntimeError> failure;
    try {
        BusyScope busy(busy_);
        image_.SaveTo(target, [this](int percent) { ShowProgress(percent); });
    } catch (const platform::RuntimeError& error) {
        failure = error;
    }
    Picture1->hide();
    if (!failure) {
        // The file now holds the image as it stands; it is the document from here on.
        edits_.MarkSaved();
        if (target != SourceFileName) {
            SourceFileName = target;
            Label7->setText(target);
            Label7->setToolTip(target);
        }
        sourceStamp_ = StampOf(SourceFileName);
    }
    return failure;
}
