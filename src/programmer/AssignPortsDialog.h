#pragma once

#include <QDialog>
#include <array>

class QComboBox;
class QLabel;
class QTimer;

namespace platform {
class PortEnumeration;
class SettingsStore;
} // namespace platform

// Port Number > Assign Ports...: what Comm1..Comm8 open. Each takes a port present now (from
// a list kept fresh while the dialog is open, as adapters are plugged and unplugged; stable
// paths first), or a typed device path, usb:SERIAL, net:HOST:PORT, rfc2217://HOST:PORT or sim.
// OK keeps them in the settings (section Ports); an item set for this run by VIDAVEV_COMMn
// shows that and cannot be changed here.
class AssignPortsDialog : public QDialog {
    Q_OBJECT

public:
    AssignPortsDialog(platform::SettingsStore& settings, const platform::PortEnumeration& ports,
                      QWidget* parent = nullptr);

    std::array<QComboBox*, 8> cboComm{};
    // Looks at the system's ports again (the dialog does so every second by itself).
    void RefreshPorts();
    // Keeps the choices in the settings.
    void accept() override;

private:
    platform::SettingsStore& settings_;
    const platform::PortEnumeration& ports_;
    std::array<QLabel*, 8> lblNow_{};
    QTimer* refresh_ = nullptr;
};
