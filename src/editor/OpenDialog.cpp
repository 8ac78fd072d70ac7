#include "OpenDialog.h"

#include "common/Module1.h"
#include "platform/FileDialogs.h"

#include <QDir>
#include <QFileInfo>

namespace Module1 {

QString DialogFilter(const QString& filter) {
    if (filter.endsWith(QLatin1Char('|'))) {
        return filter;
    }
    return filter + QLatin1Char('|');
}

QString ShowOpenDialog(platform::FileDialogs& dialogs, const QString& filter, const QString& title,
                       const QString& initialDir) {
    platform::FileDialogOptions options;
    options.title = title;
    options.filter = DialogFilter(filter);
    options.initialDir = initialDir;
    options.fileMustExist = true;
    const std::optional<QString> path = dialogs.ShowOpen(options);
    return path.value_or(QString());
}

QString FolderOf(const QString& path) {
    return WithTrailingSeparator(QDir::toNativeSeparators(QFileInfo(path).absolutePath()));
}

} // namespace Module1
