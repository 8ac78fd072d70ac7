#pragma once

#include <QString>
#include <QStringList>
#include <array>

namespace core {

// The five operations on the chip's data EEPROM.
enum class Operation { Read, Program, Verify, ClearWpo, BulkErase };

// "READ", "PROGRAM", "VERIFY", "CLEAR WPO", "BULK ERASE".
QString OperationName(Operation operation);

// A device family as the adapter knows it: the one-letter code it is told first, the size of
// one transfer, where the data EEPROM lies, and the operations its chips refuse.
struct Family {
    char code;        // 'x', 'y' or 't'
    int blockSize;    // bytes in one transfer
    int eepromFirst;  // address of the block's first byte
    bool registerOps; // VERIFY, CLEAR WPO and BULK ERASE are served

    int EepromLast() const { return eepromFirst + blockSize - 1; }
    bool Refuses(Operation operation) const {
        return !registerOps && operation != Operation::Read && operation != Operation::Program;
    }
};

inline constexpr std::array<Family, 3> Families{{
    {'x', 512, 0x1E00, true},
    {'y', 256, 0x1F00, true},
    {'t', 256, 0x1F00, false},
}};

// The family of a code; nullptr for anything but "x", "y" and "t".
const Family* FindFamily(const QString& code);

// The number of bytes in one transfer for a family code: 256 for "y" and "t", else 512.
int BlockSize(const QString& deviceCode);

// The chips the programmer serves, in Device menu order, with the adapter board each needs,
// the family code, and the entry of the About window's feature list.
struct DeviceRow {
    const char* item;    // menu item name, e.g. "mnuTMS370CX56A"
    const char* caption; // menu text with its access key
    const char* status;  // what the status line shows once chosen
    const char* code;    // family code "x", "y" or "t"
    const char* chip;    // the part itself, e.g. "TMS370C756A"
    const char* adapter; // the adapter board, e.g. "KV-4"
    const char* eeprom;  // the EEPROM range as the feature list writes it
    const char* package;

    // The menu text without its access key: "TMS370CX56A".
    QString Name() const;
    const Family& DeviceFamily() const { return *FindFamily(QLatin1String(code)); }
};

inline constexpr std::array<DeviceRow, 8> DeviceCatalogue{{
    {"mnuTMS370CX56A", "&TMS370CX56A", "Device : TMS370C756A / Adapter : KV-4", "x", "TMS370C756A",
     "KV-4", "1E00h-1FFFh", "68PLCC"},
    {"mnuTMS370CX58A", "&TMS370CX58A", "Device : TMS370C758A / Adapter : KV-4", "y", "TMS370C758A",
     "KV-4", "1F00h-1FFFh", "68PLCC"},
    {"mnuTMS370CX42A", "&TMS370CX42A", "Device : TMS370C742A / Adapter : KV-3", "y", "TMS370C742A",
     "KV-3", "1F00h-1FFFh", "44PLCC"},
    {"mnuTMS370C036", "&TMS370C036", "Device : TMS370C036 / Adapter : KV-7", "y", "TMS370C036",
     "KV-7", "1F00-1FFFh", "44PLCC"},
    {"mnuTMS370CX02", "&TMS370CX02", "Device : TMS370C702 / Adapter : KV-2", "y", "TMS370C702",
     "KV-2", "1F00h-1FFFh", "28PLCC"},
    {"mnuTMS370C006", "&TMS375C006", "Device : TMS375C006 / Adapter : KV-1", "x", "TMS375C006",
     "KV-1", "1E00h-1FFFh", "44PLCC"},
    {"mnuTMS374C003", "&TMS374C003", "Device : TMS374C003A / Adapter : KV-5", "t", "TMS374C003A",
     "KV-5", "1F00h-1FFFh", "100QFP"},
    {"mnuTMS374C013", "&TMS374C013", "Device : TMS374C013A / Adapter : KV-6", "t", "TMS374C013A",
     "KV-6", "1F00h-1FFFh", "100QFP"},
}};

// The device a user names: the menu name ("TMS370CX56A") or the chip ("TMS370C756A"),
// case-insensitive. nullptr when none matches.
const DeviceRow* FindDevice(const QString& name);

// The menu names, in menu order.
QStringList DeviceNames();

// The feature list as one line: "chip range EEPROM package" entries separated by blanks.
QString FeaturesText();

} // namespace core
