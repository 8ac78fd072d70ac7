#include "Commands.h"

#include "ExitCode.h"
#include "core/PortDevices.h"
#include "formats/ImageRecords.h"
#include "platform/SettingsStore.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTextStream>

namespace cli {

namespace {

// The commands the family's chips refuse.
QStringList Refusals(const core::Family& family) {
    QStringList refused;
    for (auto [operation, name] : {std::pair{core::Operation::Verify, "verify"},
                                   std::pair{core::Operation::BulkErase, "erase"},
                                   std::pair{core::Operation::ClearWpo, "clear-wpo"}}) {
        if (family.Refuses(operation)) {
            refused << QLatin1String(name);
        }
    }
    return refused;
}

// Where port n's device comes from.
QString Source(const platform::SettingsStore& settings, int n) {
    if (!qEnvironmentVariable(qPrintable(QStringLiteral("VIDAVEV_COMM%1").arg(n)))
             .trimmed()
             .isEmpty()) {
        return QStringLiteral("VIDAVEV_COMM%1").arg(n);
    }
    if (!settings.GetSetting(QStringLiteral("Ports"), QStringLiteral("Comm%1").arg(n))
             .trimmed()
             .isEmpty()) {
        return QStringLiteral("settings");
    }
    return QStringLiteral("default");
}

} // namespace

int ListDevices(const Request& request, ToolServices& services) {
    QTextStream& out = services.out;
    if (request.listFormat == QLatin1String("json")) {
        QJsonArray devices;
        for (const core::DeviceRow& row : core::DeviceCatalogue) {
            const core::Family& family = row.DeviceFamily();
            devices.append(QJsonObject{{"device", row.Name()},
                                       {"chip", QLatin1String(row.chip)},
                                       {"family", QString(QLatin1Char(family.code))},
                                       {"eeprom_first", family.eepromFirst},
                                       {"eeprom_last", family.EepromLast()},
                                       {"block_size", family.blockSize},
                                       {"adapter", QLatin1String(row.adapter)},
                                       {"refuses", QJsonArray::fromStringList(Refusals(family))}});
        }
        out << QJsonDocument(devices).toJson(QJsonDocument::Indented);
        out.flush();
        return Success;
    }
    out << QStringLiteral("%1 %2 %3 %4 %5 %6 %7\n")
               .arg(QStringLiteral("Device"), -12)
               .arg(QStringLiteral("Chip"), -12)
               .arg(QStringLiteral("Family"), -6)
               .arg(QStringLiteral("EEPROM"), -12)
               .arg(QStringLiteral("Block"), -5)
               .arg(QStringLiteral("Adapter"), -7)
               .arg(QStringLiteral("Refuses"));
    for (const core::DeviceRow& row : core::DeviceCatalogue) {
        const core::Family& family = row.DeviceFamily();
        out << QStringLiteral("%1 %2 %3 %4 %5 %6 %7\n")
                   .arg(row.Name(), -12)
                   .arg(QLatin1String(row.chip), -12)
                   .arg(QString(QLatin1Char(family.code)), -6)
                   .arg(core::HexAddress(quint32(family.eepromFirst)) + QLatin1Char('-') +
                            core::HexAddress(quint32(family.EepromLast())),
                        -12)
                   .arg(family.blockSize, -5)
                   .arg(QLatin1String(row.adapter), -7)
                   .arg(Refusals(family).isEmpty() ? QStringLiteral("-")
                                                   : Refusals(family).join(QLatin1Char(' ')));
    }
    out.flush();
    return Success;
}

// A name from the settings or the environment as a terminal may show it.
QString Printable(const QString& text) {
    return core::ShownText(text).replace(QLatin1Char('\n'), QLatin1String("\\x0a"));
}

int ListPorts(const Request& request, ToolServices& services) {
    const platform::QtPortEnumeration system;
    const QList<platform::SystemPort> present =
        (services.ports ? services.ports : &system)->Ports();
    QTextStream& out = services.out;
    const auto dash = [](const QString& text) {
        return text.isEmpty() ? QStringLiteral("-") : text;
    };

    if (request.listFormat == QLatin1String("json")) {
        QJsonArray items;
        for (int n = 1; n <= 8; ++n) {
            const QString device = core::PortDeviceName(services.settings, n);
            const core::PortStatus status = core::StatusOfPort(device, present);
            QJsonObject item{{"port", QStringLiteral("Comm%1").arg(n)},
                             {"device", core::ShortPortName(device)},
                             {"from", Source(services.settings, n)},
                             {"what", status.what}};
            item.insert("present", status.kind == core::PortStatus::Network
                                       ? QJsonValue(QJsonValue::Null)
                                       : QJsonValue(status.present));
            if (!status.path.isEmpty() && status.path != device) {
                item.insert("path", status.path);
            }
            items.append(item);
        }
        QJsonArray system;
        for (const platform::SystemPort& port : present) {
            system.append(QJsonObject{{"path", port.path},
                                      {"stable_path", port.stablePath},
                                      {"usb", port.UsbIds()},
                                      {"serial_number", port.serialNumber},
                                      {"manufacturer", port.manufacturer},
                                      {"description", port.description}});
        }
        out << QJsonDocument(QJsonObject{{"items", items}, {"system", system}})
                   .toJson(QJsonDocument::Indented);
        out.flush();
        return Success;
    }

    out << QStringLiteral("%1 %2 %3 %4\n")
               .arg(QStringLiteral("Port"), -6)
               .arg(QStringLiteral("Device"), -24)
               .arg(QStringLiteral("From"), -14)
               .arg(QStringLiteral("Now"));
    for (int n = 1; n <= 8; ++n) {
        const QString device = core::PortDeviceName(services.settings, n);
        const core::PortStatus status = core::StatusOfPort(device, present);
        QString now = status.kind == core::PortStatus::Network ? QStringLiteral("network")
                      : status.present                         ? QStringLiteral("present")
                                                               : QStringLiteral("not present");
        if (!status.what.isEmpty()) {
            now += QStringLiteral(" (%1)").arg(status.what);
        }
        out << QStringLiteral("%1 %2 %3 %4\n")
                   .arg(QStringLiteral("Comm%1").arg(n), -6)
                   .arg(core::ShownPortName(device), -24)
                   .arg(Source(services.settings, n), -14)
                   .arg(Printable(now));
    }
    out << "\nSerial ports of this system:\n";
    if (present.isEmpty()) {
        out << "  none found\n";
        out.flush();
        return Success;
    }
    out << QStringLiteral("  %1 %2 %3 %4 %5 %6\n")
               .arg(QStringLiteral("Path"), -16)
               .arg(QStringLiteral("Stable path"), -44)
               .arg(QStringLiteral("VID:PID"), -9)
               .arg(QStringLiteral("Serial"), -12)
               .arg(QStringLiteral("Manufacturer"), -14)
               .arg(QStringLiteral("Description"));
    for (const platform::SystemPort& port : present) {
        out << QStringLiteral("  %1 %2 %3 %4 %5 %6\n")
                   .arg(Printable(port.path), -16)
                   .arg(Printable(dash(port.stablePath)), -44)
                   .arg(dash(port.UsbIds()), -9)
                   .arg(Printable(dash(port.serialNumber)), -12)
                   .arg(Printable(dash(port.manufacturer)), -14)
                   .arg(Printable(dash(port.description)));
    }
    out.flush();
    return Success;
}

} // namespace cli
