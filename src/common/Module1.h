#pragma once

#include <QString>

class QWidget;
namespace platform {
class SettingsStore;
}

// Program-wide values and the small routines the windows share.
namespace Module1 {

// The program's title: main window caption, status line at start, Working window caption.
inline const QString ProgramTitle = QStringLiteral("TMS370 EEPROM Programmer");

// The working image of the memory editor, in the temporary folder.
inline const QString WorkImageName = QStringLiteral("hexfiletemp.tmp");

// Where the program's files are, settled once at start and handed to the windows that need
// them.
struct ProgramPlaces {
    // The folder of the program's executable, ending in exactly one path separator.
    QString appFolder;
    // The language file name from the settings (General/Language, default "English.lpk"): a
    // file name only, in the program's folder.
    QString languageFile = QStringLiteral("English.lpk");

    // The language file: beside the program, else in ../share/tms370prog/ from there (an
    // installed tree); the first when neither exists.
    QString LanguageFilePath() const;
};

// The platform's path separator: "\" on Windows, "/" elsewhere.
QChar PathSeparator();

// folder with exactly one separator added when it has none at its end.
QString WithTrailingSeparator(const QString& folder);

// The places as the program settles them at start. A Language setting that names a path (a
// separator or "..") is ignored: the default is used.
ProgramPlaces ProgramPlacesOf(const QString& executableFolder,
                              const platform::SettingsStore& settings);

// The system temporary folder, ending in a separator.
QString GetTempFolder();

// The working image's full path: the temporary folder, one separator, "hexfiletemp.tmp".
// When another user holds that name (a leftover in a shared folder, which cannot be
// removed), the image goes into a folder of this user's own inside the temporary folder
// (mode 700) instead, for the rest of the run.
QString WorkImagePath();
QString WorkImagePath(const QString& tempFolder);

// Edits the editor could not write back before the program ended are kept beside the
// working image, in a file named after the user's file with this ending
// ("fw.bin.tms370-unsaved").
inline const QString KeptChangesSuffix = QStringLiteral(".tms370-unsaved");

// Where the edits of sourceFile are kept: the working image's folder, the file's name and
// KeptChangesSuffix.
QString KeptChangesPath(const QString& sourceFile);

// Puts window in the middle of its screen.
void CenterForm(QWidget* window);

} // namespace Module1
