#pragma once

#include <QString>

namespace platform {
class FileDialogs;
}

namespace Module1 {

// A filter of description and pattern pairs separated by "|", ending in "|" as the dialog
// expects: one is appended when it lacks it.
QString DialogFilter(const QString& filter);

// The system Open dialog for a file that must exist. Returns the chosen full path, or ""
// when the user cancelled.
QString ShowOpenDialog(platform::FileDialogs& dialogs, const QString& filter, const QString& title,
                       const QString& initialDir);

// The folder that holds the file path names, with native separators and ending in one.
QString FolderOf(const QString& path);

} // namespace Module1
