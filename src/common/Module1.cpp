#include "Module1.h"

#include "platform/SettingsStore.h"

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#if defined(Q_OS_UNIX)
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace Module1 {

namespace {

const QString DefaultLanguageFile = QStringLiteral("English.lpk");

bool IsPlainFileName(const QString& name) {
    return !name.isEmpty() && !name.contains(QLatin1Char('/')) &&
           !name.contains(QLatin1Char('\\')) && !name.contains(QLatin1String(".."));
}

#if defined(Q_OS_UNIX)
// The private folder chosen in this run, and the temporary folder it was chosen in.
QString privateTemp;
QString privateFolder;

bool HeldByAnotherUser(const QString& path) {
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 && st.st_uid != ::geteuid();
}

bool IsOwnPrivateFolder(const QByteArray& path) {
    struct stat st {};
    return ::lstat(path.constData(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() &&
           (st.st_mode & 077) == 0;
}

// A folder inside temp that only this user can enter: its own named one, or, when that
// name is taken by someone else, a fresh one.
QString MakePrivateFolder(const QString& temp) {
    const QByteArray named =
        QFile::encodeName(temp + QStringLiteral("tms370prog-%1").arg(::geteuid()));
    ::mkdir(named.constData(), 0700);
    if (IsOwnPrivateFolder(named)) {
        return WithTrailingSeparator(QFile::decodeName(named));
    }
    QByteArray fresh = QFile::encodeName(temp + QStringLiteral("tms370prog-XXXXXX"));
    if (::mkdtemp(fresh.data()) != nullptr) {
        return WithTrailingSeparator(QFile::decodeName(fresh));
    }
    return temp; // the open reports why the image cannot be made
}
#endif

} // namespace

QChar PathSeparator() {
    return QDir::separator();
}

QString WithTrailingSeparator(const QString& folder) {
    if (folder.endsWith(PathSeparator())) {
        return folder;
    }
    return folder + PathSeparator();
}

ProgramPlaces ProgramPlacesOf(const QString& executableFolder,
                              const platform::SettingsStore& settings) {
    ProgramPlaces places;
    places.appFolder = WithTrailingSeparator(QDir::toNativeSeparators(executableFolder));
    const QString name = settings.GetSetting(QStringLiteral("General"), QStringLiteral("Language"),
                                             DefaultLanguageFile);
    places.languageFile = IsPlainFileName(name) ? name : DefaultLanguageFile;
    return places;
}

QString ProgramPlaces::LanguageFilePath() const {
    const QString beside = appFolder + languageFile;
    const QString shared = QDir::toNativeSeparators(
        QDir::cleanPath(appFolder + QStringLiteral("../share/tms370prog/") + languageFile));
    return !QFileInfo::exists(beside) && QFileInfo::exists(shared) ? shared : beside;
}

QString GetTempFolder() {
    return WithTrailingSeparator(QDir::toNativeSeparators(QDir::tempPath()));
}

QString WorkImagePath(const QString& tempFolder) {
    return WithTrailingSeparator(tempFolder) + WorkImageName;
}

QString WorkImagePath() {
    const QString temp = GetTempFolder();
#if defined(Q_OS_UNIX)
    if (privateTemp == temp && QFileInfo(privateFolder).isDir()) {
        return WorkImagePath(privateFolder);
    }
    if (HeldByAnotherUser(WorkImagePath(temp))) {
        privateTemp = temp;
        privateFolder = MakePrivateFolder(temp);
        return WorkImagePath(privateFolder);
    }
#endif
    return WorkImagePath(temp);
}

QString KeptChangesPath(const QString& sourceFile) {
    return WithTrailingSeparator(QFileInfo(WorkImagePath()).path()) +
           QFileInfo(sourceFile).fileName() + KeptChangesSuffix;
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
