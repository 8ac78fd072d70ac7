#include "QtFileDialogs.h"

#include <QApplication>
#include <QFileDialog>

namespace platform {

namespace {

std::optional<QString> Run(const FileDialogOptions& options, QFileDialog::AcceptMode mode) {
    QFileDialog dialog(QApplication::activeWindow(), options.title, options.initialDir,
                       ToQtFilter(options.filter));
    dialog.setAcceptMode(mode);
    dialog.setFileMode(mode == QFileDialog::AcceptOpen && options.fileMustExist
                           ? QFileDialog::ExistingFile
                           : QFileDialog::AnyFile);
    if (!options.defaultExt.isEmpty()) {
        dialog.setDefaultSuffix(options.defaultExt);
    }
    if (!options.confirmOverwrite) {
        dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return dialog.selectedFiles().first();
}

} // namespace

std::optional<QString> QtFileDialogs::ShowOpen(const FileDialogOptions& options) {
    return Chosen(Run(options, QFileDialog::AcceptOpen));
}

std::optional<QString> QtFileDialogs::ShowSave(const FileDialogOptions& options) {
    return Chosen(Run(options, QFileDialog::AcceptSave));
}

} // namespace platform
