#pragma once

#include "ByteTransport.h"
#include "LineSettings.h"
#include "SerialControl.h"
#include "SerialPort.h"

#include <QDeadlineTimer>
#include <memory>

namespace platform {

// The serial port control's rules over any byte transport: the receive queue, its event and
// threshold, one byte a read, the properties that may change only while closed.
class TransportPort : public SerialPort {
public:
    explicit TransportPort(std::unique_ptr<ByteTransport> transport);
    ~TransportPort() override;

    void SetCommPort(int port) override { commPort_ = port; }
    int CommPort() const override { return commPort_; }
    void SetDevice(const QString& device) override { device_ = device; }
    QString Device() const override { return device_; }
    bool PortOpen() const override { return control_.Open(); }
    void SetPortOpen(bool open) override;
    void SetSettings(const QString& settings) override;
    QString Settings() const override { return settingsText_; }
    void SetRThreshold(int threshold) override;
    int RThreshold() const override { return control_.RThreshold(); }
    void SetInputLen(int length) override { control_.SetInputLen(length); }
    void SetInBufferSize(int size) override { control_.SetInBufferSize(size); }
    void SetOutBufferSize(int size) override { control_.SetOutBufferSize(size); }
    void Output(const QByteArray& bytes) override;
    QByteArray Input() override;
    int InBufferCount() const override;
    int CommEvent() const override;
    bool DSRHolding() const override;
    bool StillThere(QString* why) const override;
    double LineOpensInMs() const override;

private:
    // Moves what has arrived into the queue; a failure waits until the queue is read empty.
    void Pull() const;

    std::unique_ptr<ByteTransport> transport_;
    int commPort_ = 1;
    QString device_;
    QString settingsText_ = QStringLiteral("9600,N,8,1");
    LineSettings line_;
    mutable SerialControl control_;
    mutable bool pulling_ = false;
    mutable int failureNumber_ = 0;
    mutable QString failure_;
    QDeadlineTimer lineOpens_; // when the far end's line is open for this session
};

} // namespace platform
