#include "FileDialogs.h"

#include <QFileInfo>
#include <QStringList>

namespace platform {

std::optional<QString> FileDialogs::Chosen(std::optional<QString> path) {
    if (path && !path->isEmpty()) {
        lastFolder_ = QFileInfo(*path).absolutePath();
    }
    return path;
}

QString ToQtFilter(const QString& filter) {
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList out;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        const QString description = parts[i];
        const QString pattern = parts[i + 1].trimmed();
        if (pattern.isEmpty()) {
            continue;
        }
        const QString qtPattern = QString(pattern).replace(QLatin1Char(';'), QLatin1Char(' '));
        // A description that already ends in its pattern ("All Files (*.bin)") is kept as is.
        if (description.trimmed().endsWith(QLatin1Char(')')) &&
            description.contains(QLatin1Char('(') + qtPattern + QLatin1Char(')'))) {
            out << description.trimmed();
        } else {
            out << QStringLiteral("%1 (%2)").arg(description.trimmed(), qtPattern);
        }
    }
    return out.join(QStringLiteral(";;"));
}

} // namespace platform
