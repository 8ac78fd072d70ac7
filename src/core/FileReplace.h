#pragma once

#include <QIODevice>
#include <QString>

class QSaveFile;

// A file replaced as a whole through a QSaveFile keeps what the old one had: its mode, and
// its owner and group where the process may set them; a read-only file is replaced only when
// the caller asked first. The usual steps:
//   const core::ReplaceCheck target = core::InspectTarget(path);
//   if (target.readOnly) ask core::ReplaceReadOnlyQuestion(path); stop on No
//   QSaveFile file;
//   if (!core::OpenReplacement(file, target, true, &why)) ...; write, then commit
namespace core {

// What a path about to be replaced holds, looked at through a link as QSaveFile follows it.
struct ReplaceCheck {
    QString path;
    bool exists = false; // a file, or a link to one, is there
    // Its owner's write bit is clear: whoever made it meant it kept. Taken from the mode bits
    // rather than access(), which lets root write anything: root is asked too.
    bool readOnly = false;
    bool writable = false; // this process may write to it as it is
    uint mode = 0;         // permission bits, 07777
    uint uid = 0;
    uint gid = 0;
};

ReplaceCheck InspectTarget(const QString& path);

// Gives file's new content (open, not yet committed) the old file's mode, and its owner and
// group where the system lets this process set them. Nothing to do for a target that did not
// exist: the new file's mode comes from the umask. False, with why, when the mode cannot be set.
bool KeepAttributes(QSaveFile& file, const ReplaceCheck& target, QString* why);

// Names file after target.path and opens it (unbuffered by default: a full disk fails the write
// that meets it, where a buffered QSaveFile may commit a cut file), keeping the target's
// attributes. A read-only target is refused ("it is read-only") unless replaceReadOnly. False,
// with the system's reason, when it cannot be opened.
bool OpenReplacement(QSaveFile& file, const ReplaceCheck& target, bool replaceReadOnly,
                     QString* why,
                     QIODevice::OpenMode mode = QIODevice::WriteOnly | QIODevice::Unbuffered);

// "fw.bin is read-only. Replace it anyway?": the question before replacing a read-only file.
QString ReplaceReadOnlyQuestion(const QString& path);

} // namespace core
