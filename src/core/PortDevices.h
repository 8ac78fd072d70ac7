#pragma once

#include "platform/PortEnumeration.h"

#include <QString>
#include <optional>

namespace platform {
class SettingsStore;
} // namespace platform

namespace core {

class PortControl;

// Where the adapter hangs: a port item Comm1..Comm8, which maps to a system device, or a
// device named directly ("/dev/ttyUSB0", "COM3", "sim" for the built-in simulated adapter).
struct PortChoice {
    int number = 0; // 1..8 for a port item, 0 for a device named directly
    QString device; // the system device it opens

    // "Comm3", or the device named.
    QString Label() const;
};

// The system device that port n (1..8) opens: the environment variable VIDAVEV_COMMn for
// this run, else settings section "Ports", key "Comm<n>", else COMn on Windows and
// /dev/ttyS<n-1> elsewhere. Empty for a number outside 1..8.
QString PortDeviceName(const platform::SettingsStore& settings, int port);

// The device port n opens when nothing is configured.
QString DefaultPortDevice(int port);

// Port item n with its device.
PortChoice PortItem(const platform::SettingsStore& settings, int n);

// What a user typed: "Comm1".."Comm8" in any case, "sim", or a device path. Nothing for an
// empty text or a port item outside 1..8.
std::optional<PortChoice> ParsePortChoice(const QString& text,
                                          const platform::SettingsStore& settings);

// Prepares port for the adapter's line: the port and its device, "9600,N,8,1", one byte per
// read, 512-byte queues, receive notification off. A port left open is closed first.
void SetUpPort(PortControl& port, const PortChoice& choice);

// Whether a port name's device is there now, and what it is.
struct PortStatus {
    enum Kind { Device, Usb, Network, Simulated } kind = Device;
    bool present = false; // Network: not asked (only a connection tells)
    QString path;         // the system device it comes to, where known
    QString what;         // description and serial of the adapter, where known
};
PortStatus StatusOfPort(const QString& device, const QList<platform::SystemPort>& ports);

// The name as a listing shows it: a name of hundreds of characters is cut short, saying how
// long it is.
QString ShortPortName(const QString& device);

// A port's name as a window or a terminal shows it, whether from the settings or the
// environment: cut short as ShortPortName does, control characters (an escape sequence
// would recolour or move a terminal) as \xNN.
QString ShownPortName(const QString& device);

// Words that may hold a port's name (a system's message), shown as ShownPortName shows the
// name: control characters other than line ends as \xNN, a word of hundreds of characters
// cut short.
QString ShownText(const QString& text);

// Why a port that reports DSR low may hold an adapter all the same, and how to go on: for
// an RFC 2217 port, the terminal server's words; empty for any other port.
QString NoDsrAdvice(const QString& device);

// "/dev/ttyUSB0 \u2014 FT232R USB UART, serial A50285BI", "/dev/ttyS4 \u2014 not present": the
// device and what the system knows of it, for a tool tip or a listing.
QString DescribePort(const QString& device, const QList<platform::SystemPort>& ports);

} // namespace core
