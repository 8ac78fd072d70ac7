#include "PortDevices.h"

#include "platform/SerialPort.h"
#include "platform/SettingsStore.h"

#include <QRegularExpression>
#include <QtGlobal>

namespace core {

QString PortChoice::Label() const {
    return number > 0 ? QStringLiteral("Comm%1").arg(number) : device;
}

QString DefaultPortDevice(int port) {
#ifdef Q_OS_WIN
    return QStringLiteral("COM%1").arg(port);
#else
    return QStringLiteral("/dev/ttyS%1").arg(port - 1);
#endif
}

QString PortDeviceName(const platform::SettingsStore& settings, int port) {
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

PortChoice PortItem(const platform::SettingsStore& settings, int n) {
    return PortChoice{n, PortDeviceName(settings, n)};
}

std::optional<PortChoice> ParsePortChoice(const QString& text,
                                          const platform::SettingsStore& settings) {
    const QString name = text.trimmed();
    if (name.isEmpty()) {
        return std::nullopt;
    }
    static const QRegularExpression item(QStringLiteral("^comm(\\d+)$"),
                                         QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = item.match(name);
    if (match.hasMatch()) {
        const int n = match.captured(1).toInt();
        if (n < 1 || n > 8) {
            return std::nullopt;
        }
        return PortItem(settings, n);
    }
    return PortChoice{0, name};
}

void SetUpPort(platform::SerialPort& port, const PortChoice& choice) {
    port.SetCommPort(choice.number);
    port.SetDevice(choice.device);
    if (port.PortOpen()) {
        port.SetPortOpen(false);
    }
    port.SetSettings(QStringLiteral("9600,N,8,1"));
    port.SetRThreshold(0);
    port.SetInputLen(1);
    port.SetOutBufferSize(512);
    port.SetInBufferSize(512);
}

} // namespace core
