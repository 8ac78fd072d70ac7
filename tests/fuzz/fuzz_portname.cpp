// A port as the user names it (Comm1..Comm8, a device path, sim) with the settings' Ports
// section mapping the port items: the text's first line is what was typed, the next eight
// are Ports/Comm1..Comm8.
#include "FuzzSupport.h"
#include "MapSettings.h"
#include "core/PortDevices.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    for (int n = 1; n <= 8; ++n) {
        qunsetenv(qPrintable(QStringLiteral("VIDAVEV_COMM%1").arg(n)));
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Input input(data, size);
    const bool utf16 = input.Flag();
    const QStringList lines = fuzz::TextOf(input.Rest(), utf16).split(u'\n');
    fuzz::MapSettings settings;
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
    for (int n = 1; n <= 8; ++n) {
        fuzz::Check(!core::PortItem(settings, n).device.isEmpty(), "each port item has a device");
    }
    return 0;
}
