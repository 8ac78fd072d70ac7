#pragma once

#include "LineSettings.h"
#include "SerialPort.h"

#include <functional>
#include <memory>

class QSerialPort;

namespace platform {

class SettingsStore;

// The serial port on QSerialPort. Port n opens the device PortDeviceName gives (settings,
// environment, system default); the device "sim" opens the port the factory makes, if any.
// Every byte written is handed to the system before Output returns, and the input queue of
// InBufferSize bytes is filled whenever the port is looked at as well as from the event loop.
class QtSerialPort : public SerialPort {
public:
    using SimulatedPortFactory = std::function<std::unique_ptr<SerialPort>()>;

    explicit QtSerialPort(const SettingsStore& settings, SimulatedPortFactory simulated = {});
    ~QtSerialPort() override;

    void SetCommPort(int port) override { commPort_ = port; }
    int CommPort() const override { return commPort_; }
    bool PortOpen() const override;
    void SetPortOpen(bool open) override;
    void SetSettings(const QString& settings) override;
    QString Settings() const override { return settingsText_; }
    void SetRThreshold(int threshold) override;
    int RThreshold() const override { return rThreshold_; }
    void SetInputLen(int length) override;
    void SetInBufferSize(int size) override;
    void SetOutBufferSize(int size) override;
    void Output(const QByteArray& bytes) override;
    QByteArray Input() override;
    int CommEvent() const override;
    bool DSRHolding() const override;
    QString DeviceName(int port) const override;

private:
    void RequireOpen() const;
    void RequireClosed() const;
    void OpenSimulated();
    void OpenDevice(const QString& device);
    void CloseDevice();
    void ApplyLineSettings(const LineSettings& line);
    // Blocks until QSerialPort has handed every queued byte to the system, or raises 8019.
    void Drain(int timeoutMs);
    // Moves what the system has received into the input queue.
    void Pull() const;

    const SettingsStore& settings_;
    SimulatedPortFactory simulatedFactory_;
    std::unique_ptr<SerialPort> simulated_;
    bool simulatedOpen_ = false;
    bool lastSessionSimulated_ = false;

    std::unique_ptr<QSerialPort> serial_;
    QString openDevice_; // the device held open, as registered against opening it twice

    int commPort_ = 1;
    QString settingsText_ = QStringLiteral("9600,N,8,1");
    LineSettings line_;
    int rThreshold_ = 0;
    int inputLen_ = 0;
    int inBufferSize_ = 1024;
    int outBufferSize_ = 512;

    mutable QByteArray inQueue_;
    mutable int commEvent_ = 0;
    mutable bool pulling_ = false;
    mutable QString readFailure_; // why the system could not be read, until Input reports it
};

} // namespace platform
