#include "PortEnumeration.h"

#include <QDir>
#include <QFileInfo>
#include <QSerialPortInfo>

namespace platform {

QString SystemPort::UsbIds() const {
    if (vendorId < 0 || productId < 0) {
        return QString();
    }
    return QStringLiteral("%1:%2")
        .arg(vendorId, 4, 16, QLatin1Char('0'))
        .arg(productId, 4, 16, QLatin1Char('0'));
}

QList<SystemPort> QtPortEnumeration::Ports() const {
    // The links udev keeps under names that survive replugging.
    QHash<QString, QString> stable;
    const QDir byId(QStringLiteral("/dev/serial/by-id"));
    for (const QFileInfo& link : byId.entryInfoList(QDir::System | QDir::Files)) {
        stable.insert(link.canonicalFilePath(), link.absoluteFilePath());
    }
    QList<SystemPort> ports;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        SystemPort port;
        port.path = info.systemLocation();
        port.stablePath = stable.value(QFileInfo(port.path).canonicalFilePath());
        port.description = info.description();
        port.manufacturer = info.manufacturer();
        port.serialNumber = info.serialNumber();
        if (info.hasVendorIdentifier() && info.hasProductIdentifier()) {
            port.vendorId = info.vendorIdentifier();
            port.productId = info.productIdentifier();
        }
        ports.append(port);
    }
    return ports;
}

QString FindUsbAdapter(const QList<SystemPort>& ports, const QString& serial, QString* why) {
    QList<SystemPort> matches;
    QStringList present;
    for (const SystemPort& port : ports) {
        if (port.serialNumber.isEmpty()) {
            continue;
        }
        present << QStringLiteral("%1 (serial %2)").arg(port.path, port.serialNumber);
        if (port.serialNumber.compare(serial, Qt::CaseInsensitive) == 0) {
            matches.append(port);
        }
    }
    if (matches.size() == 1) {
        return matches.first().path;
    }
    const QString there =
        present.isEmpty() ? QStringLiteral("no USB serial adapter is plugged in")
                          : QStringLiteral("present: %1").arg(present.join(QStringLiteral(", ")));
    *why = matches.isEmpty()
               ? QStringLiteral("no USB serial adapter with serial number %1 is plugged in; %2")
                     .arg(serial, there)
               : QStringLiteral("%1 USB serial adapters have the serial number %2; unplug all "
                                "but one or name the port by its path (%3)")
                     .arg(matches.size())
                     .arg(serial, there);
    return QString();
}

} // namespace platform
