// A port as the user names it (Comm1..Comm8, a device path, sim, usb:SERIAL, net:HOST:PORT,
// rfc2217://HOST:PORT) with the settings' Ports section mapping the port items: the text's
// first line is what was typed, the next eight are Ports/Comm1..Comm8, and what follows
// names the serial numbers of the USB adapters present.
#include "FuzzSupport.h"
#include "core/PortDevices.h"
#include "platform/SettingsStore.h"
#include "transport/NetworkTransport.h"

#include <QMap>

namespace {

// Settings held in memory: the values are shaped here rather than through a file.
struct MapSettings : platform::SettingsStore {
    QString GetSetting(const QString& section, const QString& key,
                       const QString& defaultValue) const override {
        return values.value(section + u'/' + key, defaultValue);
    }
    void SaveSetting(const QString& section, const QString& key, const QString& value) override {
        values.insert(section + u'/' + key, value);
    }
    QString Location() const override { return {}; } // no file: nothing is kept beside it
    QMap<QString, QString> values;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QStringList lines = fuzz::Input(data, size).Text().split(u'\n');
    MapSettings settings;
    for (int n = 1; n < std::min<int>(lines.size(), 9); ++n) {
        settings.SaveSetting(QStringLiteral("Ports"), QStringLiteral("Comm%1").arg(n), lines[n]);
    }
    const std::optional<core::PortChoice> choice = core::ParsePortChoice(lines[0], settings);
    if (choice) {
        fuzz::Check(choice->number >= 0 && choice->number <= 8, "a port item is 1 to 8");
        fuzz::Check(!choice->device.isEmpty(), "a port opens a device");
        fuzz::Check(!choice->Label().isEmpty(), "a port has a name to show");
        if (choice->number > 0) {
            fuzz::Check(choice->device == core::PortItem(settings, choice->number).device,
                        "a port item opens its mapped device");
        }
    }
    // The network names: an address is a host and a port from 1 to 65535, or a reason.
    for (const QString& name : lines) {
        QString why;
        const auto address = transport::NetworkTransport::Parse(name, &why);
        if (address) {
            fuzz::Check(address->port >= 1 && !address->host.isEmpty(), "an address is whole");
        } else if (transport::NetworkTransport::IsNetworkName(name)) {
            fuzz::Check(!why.isEmpty(), "a malformed network name says why");
        }
    }
    // The USB adapters present, and what each port item is now.
    QList<platform::SystemPort> present;
    for (int i = 9; i < lines.size() && i < 13; ++i) {
        present.append({QStringLiteral("/dev/ttyUSB%1").arg(i - 9), QString(), QString(), QString(),
                        lines[i], 0x0403, 0x6001});
    }
    for (int n = 1; n <= 8; ++n) {
        const QString device = core::PortItem(settings, n).device;
        fuzz::Check(!device.isEmpty(), "each port item has a device");
        const core::PortStatus status = core::StatusOfPort(device, present);
        if (status.kind == core::PortStatus::Usb && status.present) {
            fuzz::Check(status.path.startsWith(QLatin1String("/dev/ttyUSB")),
                        "a USB adapter comes to one of those present");
        }
        fuzz::Check(!core::DescribePort(device, present).isEmpty(), "every port is described");
    }
    return 0;
}
