#pragma once

#include "LineSettings.h"
#include "PortEnumeration.h"
#include "SerialControl.h"
#include "SerialPort.h"

#include <functional>
#include <memory>

class QSerialPort;

namespace platform {

// The value of a port item that attaches the built-in simulated adapter.
inline const QString SimulatedDevice = QStringLiteral("sim");

// The serial port on QSerialPort. It opens the device it is given; the device "sim" opens
// the port the factory makes, if any, and net:HOST:PORT or rfc2217://HOST:PORT a terminal
// server's port over the network. Every byte written is handed to the system before
// Output returns, and the input queue is filled whenever the port is looked at as well as
// from the event loop.
class QtSerialPort : public SerialPort {
public:
    using SimulatedPortFactory = std::function<std::unique_ptr<SerialPort>()>;

    explicit QtSerialPort(SimulatedPortFactory simulated = {});

    // Where usb:SERIAL names are looked up; the system's ports unless set (a test's list).
    void SetPortEnumeration(const PortEnumeration* enumeration) { enumeration_ = enumeration; }
    ~QtSerialPort() override;

    void SetCommPort(int port) override { commPort_ = port; }
    int CommPort() const override { return commPort_; }
    void SetDevice(const QString& device) override { device_ = device; }
    QString Device() const override { return device_; }
    bool PortOpen() const override;
    void SetPortOpen(bool open) override;
    void SetSettings(const QString& settings) override;
    QString Settings() const override { return settingsText_; }
    void SetRThreshold(int threshold) override;
    int RThreshold() const override { return control_.RThreshold(); }
    void SetInputLen(int length) override;
    void SetInBufferSize(int size) override;
    void SetOutBufferSize(int size) override;
    void Output(const QByteArray& bytes) override;
    QByteArray Input() override;
    int InBufferCount() const override;
    int CommEvent() const override;
    bool DSRHolding() const override;
    bool StillThere(QString* why) const override;

private:
    void RequireOpen() const;
    void OpenSimulated();
    void OpenNetwork();
    void OpenDelegate();
    void OpenDevice(const QString& device);
    void CloseDevice();
    void ApplyLineSettings(const LineSettings& line);
    // Blocks until QSerialPort has handed every queued byte to the system, or raises 8019.
    void Drain(int timeoutMs);
    // Raises number with words, or that the device went away when it is no longer there.
    [[noreturn]] void FailedOnTheLine(int number, const QString& words) const;
    // Moves what the system has received into the input queue.
    void Pull() const;

    SimulatedPortFactory simulatedFactory_;
    const PortEnumeration* enumeration_ = nullptr;
    std::unique_ptr<SerialPort> simulated_;
    std::unique_ptr<SerialPort> network_; // net: and rfc2217:// ports
    // The port that carries a session not held on a local device (simulated or network).
    SerialPort* delegate_ = nullptr;
    bool delegateOpen_ = false;
    bool lastSessionDelegated_ = false;

    std::unique_ptr<QSerialPort> serial_;
    QString openDevice_; // the device held open, as registered against opening it twice

    int commPort_ = 1;
    QString device_;
    QString settingsText_ = QStringLiteral("9600,N,8,1");
    LineSettings line_;

    mutable SerialControl control_; // the device's session; a simulated one keeps its own
    mutable bool pulling_ = false;
    mutable QString readFailure_; // why the system could not be read, until Input reports it
};

} // namespace platform
