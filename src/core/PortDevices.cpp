#include "PortDevices.h"

#include "PortControl.h"
#include "platform/SettingsStore.h"

#include <QFileInfo>
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

namespace {

// No system names a device longer than a path may be; a longer name is not looked up.
constexpr qsizetype LongestDeviceName = 4096;
// How much of a name a listing or a tool tip shows.
constexpr qsizetype ShownName = 200;

} // namespace

QString ShortPortName(const QString& device) {
    if (device.size() <= ShownName) {
        return device;
    }
    return device.left(ShownName) + QStringLiteral("\u2026 (%1 characters)").arg(device.size());
}

namespace {

QString Printable(const QString& text) {
    QString out;
    for (const QChar c : text) {
        if ((c.unicode() < 0x20 && c != QLatin1Char('\n')) ||
            (c.unicode() >= 0x7F && c.unicode() < 0xA0)) {
            out += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        } else {
            out += c;
        }
    }
    return out;
}

} // namespace

QString ShownPortName(const QString& device) {
    return Printable(ShortPortName(device)).replace(QLatin1Char('\n'), QLatin1String("\\x0a"));
}

QString ShownText(const QString& text) {
    static const QRegularExpression longWord(QStringLiteral("\\S{%1,}").arg(ShownName + 1));
    QString cut = text;
    for (QRegularExpressionMatchIterator i = longWord.globalMatch(text); i.hasNext();) {
        const QString word = i.next().captured();
        cut.replace(word, ShortPortName(word));
    }
    return Printable(cut);
}

QString NoDsrAdvice(const QString& device) {
    if (!device.startsWith(QLatin1String("rfc2217://"), Qt::CaseInsensitive)) {
        return QString();
    }
    return QStringLiteral("A terminal server in front of a pseudo-terminal reports every line "
                          "low: %1?dsr=ignore skips this test.")
        .arg(ShownPortName(device.section(QLatin1Char('?'), 0, 0)));
}

PortStatus StatusOfPort(const QString& device, const QList<platform::SystemPort>& ports) {
    PortStatus status;
    if (device.size() > LongestDeviceName) {
        status.what = QStringLiteral("no device has a name this long");
        return status;
    }
    if (device.compare(QLatin1String("sim"), Qt::CaseInsensitive) == 0) {
        status.kind = PortStatus::Simulated;
        status.present = true;
        status.what = QStringLiteral("the built-in simulated adapter");
        return status;
    }
    if (device.startsWith(QLatin1String("net:"), Qt::CaseInsensitive) ||
        device.startsWith(QLatin1String("rfc2217://"), Qt::CaseInsensitive)) {
        status.kind = PortStatus::Network;
        status.what = QStringLiteral("a terminal server over the network");
        return status;
    }
    QString path = device;
    if (device.startsWith(QLatin1String("usb:"), Qt::CaseInsensitive)) {
        status.kind = PortStatus::Usb;
        QString why;
        path = platform::FindUsbAdapter(ports, device.mid(4).trimmed(), &why);
        if (path.isEmpty()) {
            status.what = why;
            return status;
        }
    } else if (!path.contains(QLatin1Char('/')) && !path.contains(QLatin1Char('\\'))) {
#ifndef Q_OS_WIN
        path = QFileInfo::exists(path) ? QFileInfo(path).absoluteFilePath()
                                       : QStringLiteral("/dev/") + path;
#endif
    }
    status.path = path;
    const QString canonical = QFileInfo(path).canonicalFilePath();
    status.present = QFileInfo::exists(path);
    for (const platform::SystemPort& port : ports) {
        if (port.path == path || (!canonical.isEmpty() && port.path == canonical) ||
            port.stablePath == path) {
            status.present = true;
            QStringList words;
            if (!port.description.isEmpty()) {
                words << port.description;
            }
            if (!port.serialNumber.isEmpty()) {
                words << QStringLiteral("serial %1").arg(port.serialNumber);
            }
            status.what = words.join(QStringLiteral(", "));
            break;
        }
    }
    return status;
}

QString DescribePort(const QString& device, const QList<platform::SystemPort>& ports) {
    const PortStatus status = StatusOfPort(device, ports);
    QString text = ShownPortName(device);
    if (status.kind == PortStatus::Usb && !status.path.isEmpty()) {
        text += QStringLiteral(" (%1)").arg(status.path);
    }
    QStringList notes;
    if (!status.what.isEmpty()) {
        notes << status.what;
    }
    if (!status.present && status.kind != PortStatus::Network) {
        notes << QStringLiteral("not present");
    }
    return notes.isEmpty() ? text
                           : text + QStringLiteral(" \u2014 ") + notes.join(QStringLiteral("; "));
}

void SetUpPort(PortControl& port, const PortChoice& choice) {
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
