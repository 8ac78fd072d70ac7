#include "Module1.h"

#include "platform/SettingsStore.h"

#include <QDir>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace Module1 {

QString AppFolder;
QString LanguageFile = QStringLiteral("English.lpk");

QChar PathSeparator() {
    return QDir::separator();
}

QString WithTrailingSeparator(const QString& folder) {
    if (folder.endsWith(PathSeparator())) {
        return folder;
    }
    return folder + PathSeparator();
}

void InitProgramValues(const QString& executableFolder, const platform::SettingsStore& settings) {
    AppFolder = QDir::toNativeSeparators(executableFolder);
    LanguageFile = settings.GetSetting(QStringLiteral("General"), QStringLiteral("Language"),
                                       QStringLiteral("English.lpk"));
    AppFolder = WithTrailingSeparator(AppFolder);
}

QString GetTempFolder() {
    return WithTrailingSeparator(QDir::toNativeSeparators(QDir::tempPath()));
}

QString WorkImagePath(const QString& tempFolder) {
    return WithTrailingSeparator(tempFolder) + WorkImageName;
}

QString WorkImagePath() {
    return WorkImagePath(GetTempFolder());
}

void CenterForm(QWidget* window) {
    QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (!screen) {
        return;
    }
    const QRect area = screen->availableGeometry();
    const QSize size = window->frameGeometry().size();
    window->move(area.left() + area.width() / 2 - size.width() / 2,
                 area.top() + area.height() / 2 - size.height() / 2);
}

} // namespace Module1
