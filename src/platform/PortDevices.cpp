#include "PortDevices.h"

#include "SettingsStore.h"

#include <QtGlobal>

namespace platform {

QString DefaultPortDevice(int port) {
#ifdef Q_OS_WIN
    return QStringLiteral("COM%1").arg(port);
#else
    return QStringLiteral("/dev/ttyS%1").arg(port - 1);
#endif
}

QString PortDeviceName(const SettingsStore& settings, int port) {
    if (port < 1 || port > 8) {
        return QString();
    }
    const QString fromEnvironment =
        qEnvironmentVariable(qPrintable(QStringLiteral("VIDAVEV_COMM%1").arg(port))).trimmed();
    if (!fromEnvironment.isEmpty()) {
        return fromEnvironment;
    }
    const QString fromSettings =
        settings.GetSetting(QStringLiteral("Ports"), QStringLiteral("Comm%1").arg(port)).trimmed();
    if (!fromSettings.isEmpty()) {
        return fromSettings;
    }
    return DefaultPortDevice(port);
}

} // namespace platform
