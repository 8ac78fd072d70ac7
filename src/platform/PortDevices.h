#pragma once

#include <QString>

namespace platform {

class SettingsStore;

// The value of a port item that attaches the built-in simulated adapter.
inline const QString SimulatedDevice = QStringLiteral("sim");

// The system device that port n (1..8) opens: the environment variable VIDAVEV_COMMn for
// this run, else settings section "Ports", key "Comm<n>", else COMn on Windows and
// /dev/ttyS<n-1> elsewhere. Empty for a number outside 1..8.
QString PortDeviceName(const SettingsStore& settings, int port);

// The device port n opens when nothing is configured.
QString DefaultPortDevice(int port);

} // namespace platform
