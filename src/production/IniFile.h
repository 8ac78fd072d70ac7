#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

// The text files a person writes by hand for a production run (recipes, field layouts):
//
//   [section]
//   key = value   ; a comment runs from ; or # to the end of the line
//
// in UTF-8, with or without a byte order mark, lines ended by LF or CR LF.
namespace production {

struct IniLine {
    int line = 0;
    QString section; // lowercase, without the brackets
    QString key;     // as written
    QString value;
};

struct IniFile {
    QByteArray bytes; // the file as read
    QList<IniLine> lines;
    QStringList sections; // as they come, lowercase, each once

    bool Has(const QString& section) const;
};

// The lines of the file at path. Nothing, with why naming the file (and the line), for one
// that is not a plain file, cannot be read, is over 1 MiB, has a section outside sections, a
// line before the first section or one that is not KEY = VALUE. what names such a file in
// the refusals: "recipe".
std::optional<IniFile> ReadIniFile(const QString& path, const QStringList& sections,
                                   const QString& what, QString* why);

} // namespace production
