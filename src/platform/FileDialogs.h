#pragma once

#include <QString>
#include <optional>

namespace platform {

// What a file dialog is asked for. The filter is written as pairs of description and
// pattern separated by "|" ("*.bin files|*.bin|*.hex files|*.hex").
struct FileDialogOptions {
    QString title;
    QString filter;
    QString defaultExt; // added to a typed name without an extension ("bin")
    QString initialDir;
    bool fileMustExist = false;
    bool confirmOverwrite = false; // save dialog: ask before replacing an existing file
};

// Open and save dialogs; an empty optional means the user cancelled.
class FileDialogs {
public:
    virtual ~FileDialogs() = default;
    virtual std::optional<QString> ShowOpen(const FileDialogOptions& options) = 0;
    virtual std::optional<QString> ShowSave(const FileDialogOptions& options) = 0;

    // The folder of the file last chosen in any of the program's dialogs (the programmer's
    // and the editor's alike) during this run; empty before the first choice.
    const QString& LastFolder() const { return lastFolder_; }

protected:
    // Each implementation tells what the user chose.
    std::optional<QString> Chosen(std::optional<QString> path);

private:
    QString lastFolder_;
};

// "desc|pattern|desc|pattern" in the form Qt's dialogs take ("desc (pattern);;...").
QString ToQtFilter(const QString& filter);

} // namespace platform
