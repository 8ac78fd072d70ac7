#pragma once

#include "LineSettings.h"
#include "PortEnumeration.h"
#include "SerialControl.h"
#include "SerialPort.h"

#include <functional>
#include <memory>

namespace platform {

// The value of a port item that attaches the built-in simulated adapter.
inline const QString SimulatedDevice = QStringLiteral("sim");

// The port a name gives, whatever carries it: a serial device of this system (a path, a bare
// name, usb:SERIAL for the USB adapter with that serial number), a terminal server
// (net:HOST:PORT, rfc2217://HOST:PORT) or "sim", the simulated adapter the factory makes.
// Each session runs the serial port control's rules over the byte transport of its kind.
class QtSerialPort : public SerialPort {
public:
    using SimulatedPortFactory = std::function<std::unique_ptr<SerialPort>()>;

    explicit QtSerialPort(SimulatedPortFactory simulated = {});
    ~QtSerialPort() override;

    // Where usb:SERIAL names are looked up; the system's ports unless set (a test's list).
    void SetPortEnumeration(const PortEnumeration* enumeration) { enumeration_ = enumeration; }

    void SetCommPort(int port) override { commPort_ = port; }
    int CommPort() const override { return commPort_; }
    void SetDevice(const QString& device) override { device_ = device; }
    QString Device() const override { return device_; }
    bool PortOpen() const override { return open_; }
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
    double LineOpensInMs() const override { return open_ ? current_->LineOpensInMs() : 0; }

private:
    // The port of this session's kind, made anew for each session but the simulated one
    // (whose adapter keeps its chip between sessions).
    SerialPort& MakeSession();

    SimulatedPortFactory simulatedFactory_;
    const PortEnumeration* enumeration_ = nullptr;
    std::unique_ptr<SerialPort> simulated_;
    std::unique_ptr<SerialPort> session_; // a device's or a network port's
    SerialPort* current_ = nullptr;       // the session open now, or the last one
    bool open_ = false;

    int commPort_ = 1;
    QString device_;
    QString settingsText_ = QStringLiteral("9600,N,8,1");
    // The properties set while no session is open, handed to the next one.
    SerialControl control_;
};

} // namespace platform
