#include "IniFile.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

namespace production {

bool IniFile::Has(const QString& section) const {
    return sections.contains(section);
}

std::optional<IniFile> ReadIniFile(const QString& path, const QStringList& sections,
                                   const QString& what, QString* why) {
    // A FIFO or a device would be read until its writer stops: only a plain file is taken.
    const QFileInfo info(path);
    if (info.exists() && !info.isFile()) {
        *why = QStringLiteral("%1 is not a file: a %2 is a text file").arg(path, what);
        return std::nullopt;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *why = QStringLiteral("cannot read %1 %2: %3").arg(what, path, file.errorString());
        return std::nullopt;
    }
    // Such a file is a few lines; anything far larger is not one.
    IniFile ini;
    ini.bytes = file.read(1 << 20);
    if (!file.atEnd()) {
        *why = QStringLiteral("%1 is too large to be a %2 (over 1 MiB)").arg(path, what);
        return std::nullopt;
    }
    const auto fail = [&](int line, const QString& text) {
        *why = QStringLiteral("%1:%2: %3").arg(path).arg(line).arg(text);
        return std::nullopt;
    };
    QStringList headers;
    for (const QString& section : sections) {
        headers << QLatin1Char('[') + section + QLatin1Char(']');
    }
    const QString allowed =
        headers.size() == 1 ? QStringLiteral("one section, %1").arg(headers[0])
                            : QStringLiteral("the sections %1 and %2")
                                  .arg(headers.mid(0, headers.size() - 1).join(QLatin1String(", ")),
                                       headers.last());

    // Editors on Windows write a byte order mark first and end lines with CR LF.
    QString text = QString::fromUtf8(ini.bytes);
    if (text.startsWith(QChar(0xFEFF))) {
        text.remove(0, 1);
    }
    const QStringList lines = text.split(QLatin1Char('\n'));
    QString section;
    for (int i = 0; i < lines.size(); ++i) {
        const int number = i + 1;
        QString line = lines[i];
        const qsizetype comment = line.indexOf(QRegularExpression(QStringLiteral("[;#]")));
        line = (comment < 0 ? line : line.left(comment)).trimmed();
        if (line.isEmpty()) {
            continue;
        }
        if (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']'))) {
            section = line.mid(1, line.size() - 2).trimmed().toLower();
            if (!sections.contains(section)) {
                return fail(number, QStringLiteral("a %1 has %2; not %3").arg(what, allowed, line));
            }
            if (!ini.sections.contains(section)) {
                ini.sections.append(section);
            }
            continue;
        }
        if (section.isEmpty()) {
            return fail(number, QStringLiteral("the lines go under a section: %1").arg(allowed));
        }
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (equals < 0) {
            return fail(number, QStringLiteral("give KEY = VALUE, not '%1'").arg(line));
        }
        ini.lines.append(
            {number, section, line.left(equals).trimmed(), line.mid(equals + 1).trimmed()});
    }
    return ini;
}

} // namespace production
