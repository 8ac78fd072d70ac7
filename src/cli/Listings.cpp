#include "Commands.h"

#include "ExitCode.h"
#include "core/ImageRecords.h"
#include "core/PortDevices.h"
#include "platform/SettingsStore.h"

#include <QSerialPortInfo>
#include <QTextStream>

namespace cli {

namespace {

QString Refusals(const core::Family& family) {
    QStringList refused;
    for (auto [operation, name] : {std::pair{core::Operation::Verify, "verify"},
                                   std::pair{core::Operation::BulkErase, "erase"},
                                   std::pair{core::Operation::ClearWpo, "clear-wpo"}}) {
        if (family.Refuses(operation)) {
            refused << QLatin1String(name);
        }
    }
    return refused.isEmpty() ? QStringLiteral("-") : refused.join(QLatin1Char(' '));
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

int ListDevices(ToolServices& services) {
    QTextStream& out = services.out;
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
                   .arg(Refusals(family));
    }
    out.flush();
    return Success;
}

int ListPorts(ToolServices& services) {
    QTextStream& out = services.out;
    out << QStringLiteral("%1 %2 %3\n")
               .arg(QStringLiteral("Port"), -6)
               .arg(QStringLiteral("Device"), -24)
               .arg(QStringLiteral("From"));
    for (int n = 1; n <= 8; ++n) {
        out << QStringLiteral("%1 %2 %3\n")
                   .arg(QStringLiteral("Comm%1").arg(n), -6)
                   .arg(core::PortDeviceName(services.settings, n), -24)
                   .arg(Source(services.settings, n));
    }
    out << "\nSerial ports of this system:\n";
    const QList<QSerialPortInfo> ports = QSerialPortInfo::availablePorts();
    if (ports.isEmpty()) {
        out << "  none found\n";
    }
    for (const QSerialPortInfo& info : ports) {
        QString ids = QStringLiteral("-");
        if (info.hasVendorIdentifier() && info.hasProductIdentifier()) {
            ids = QStringLiteral("%1:%2")
                      .arg(info.vendorIdentifier(), 4, 16, QLatin1Char('0'))
                      .arg(info.productIdentifier(), 4, 16, QLatin1Char('0'));
        }
        const QString description =
            info.description().isEmpty() ? QStringLiteral("-") : info.description();
        out << QStringLiteral("  %1 %2 %3\n")
                   .arg(info.systemLocation(), -22)
                   .arg(ids, -9)
                   .arg(description);
    }
    out.flush();
    return Success;
}

} // namespace cli
