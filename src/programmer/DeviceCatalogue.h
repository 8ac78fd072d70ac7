#pragma once

#include <QString>
#include <array>

// The chips the programmer serves, in Device menu order, with the adapter board each needs
// and the one-letter family code the adapter is told first.
struct DeviceRow {
    const char* item;    // menu item name, e.g. "mnuTMS370CX56A"
    const char* caption; // menu text with its access key
    const char* status;  // what the status line shows once chosen
    const char* code;    // family code "x", "y" or "t"
};

inline constexpr std::array<DeviceRow, 8> DeviceCatalogue{{
    {"mnuTMS370CX56A", "&TMS370CX56A", "Device : TMS370C756A / Adapter : KV-4", "x"},
    {"mnuTMS370CX58A", "&TMS370CX58A", "Device : TMS370C758A / Adapter : KV-4", "y"},
    {"mnuTMS370CX42A", "&TMS370CX42A", "Device : TMS370C742A / Adapter : KV-3", "y"},
    {"mnuTMS370C036", "&TMS370C036", "Device : TMS370C036 / Adapter : KV-7", "y"},
    {"mnuTMS370CX02", "&TMS370CX02", "Device : TMS370C702 / Adapter : KV-2", "y"},
    {"mnuTMS370C006", "&TMS375C006", "Device : TMS375C006 / Adapter : KV-1", "x"},
    {"mnuTMS374C003", "&TMS374C003", "Device : TMS374C003A / Adapter : KV-5", "t"},
    {"mnuTMS374C013", "&TMS374C013", "Device : TMS374C013A / Adapter : KV-6", "t"},
}};

// One chip of the About window's feature list: its EEPROM range and package.
struct FeatureRow {
    const char* chip;
    const char* eeprom;
    const char* package;
};

inline constexpr std::array<FeatureRow, 8> FeatureCatalogue{{
    {"TMS370C756A", "1E00h-1FFFh", "68PLCC"},
    {"TMS370C758A", "1F00h-1FFFh", "68PLCC"},
    {"TMS370C742A", "1F00h-1FFFh", "44PLCC"},
    {"TMS370C036", "1F00-1FFFh", "44PLCC"},
    {"TMS370C702", "1F00h-1FFFh", "28PLCC"},
    {"TMS375C006", "1E00h-1FFFh", "44PLCC"},
    {"TMS374C003A", "1F00h-1FFFh", "100QFP"},
    {"TMS374C013A", "1F00h-1FFFh", "100QFP"},
}};

// The feature list as one line: "chip range EEPROM package" entries separated by blanks.
QString FeaturesText();
