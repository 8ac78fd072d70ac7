// The settings file as the program reads it: General/Language (the language file's name) and
// Ports/Comm1..Comm8 (QSettings takes in the whole file whichever key is asked).
#include "FuzzSupport.h"
#include "common/Module1.h"
#include "core/PortDevices.h"
#include "platform/QtSettingsStore.h"

#include <QDateTime>
#include <QFile>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // QSettings keeps what it read of a file until the file's size or time changes: each
    // input gets a time of its own, so the same name (and one cache entry) serves them all.
    static qint64 run = 0;
    const QString path = fuzz::ScratchPath(QStringLiteral("VidAvev.ini"));
    fuzz::WriteFile(path, QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    QFile file(path);
    fuzz::Check(file.open(QIODevice::ReadWrite) &&
                    file.setFileTime(QDateTime::fromSecsSinceEpoch(++run),
                                     QFileDevice::FileModificationTime),
                "the scratch settings file takes a time");
    const platform::QtSettingsStore settings(path);
    const Module1::ProgramPlaces places =
        Module1::ProgramPlacesOf(fuzz::ScratchPath(QStringLiteral("bin/")), settings);
    fuzz::Check(!places.languageFile.isEmpty() && !places.languageFile.contains(u'/') &&
                    !places.languageFile.contains(QLatin1String("..")),
                "the language file is a file name in the program's folder");
    fuzz::Check(places.LanguageFilePath().endsWith(u'/' + places.languageFile),
                "the language file's path");
    for (int n = 1; n <= 8; ++n) {
        const core::PortChoice item = core::PortItem(settings, n);
        fuzz::Check(!item.device.isEmpty(), "each port item has a device");
        fuzz::Check(core::ParsePortChoice(item.Label(), settings).has_value(),
                    "a port item's name reads back");
    }
    return 0;
}
