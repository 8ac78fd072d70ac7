#pragma once

#include "platform/ByteTransport.h"
#include "platform/PortEnumeration.h"

#include <memory>

class QSerialPort;

namespace transport {

// A serial device of this system on QSerialPort: "/dev/ttyUSB0", a bare name taken where it
// exists or in /dev, "COM3". It refuses what is no serial port (a FIFO, a file, /dev/null),
// names the group of a device the user may not open, locks the device against every other
// process, raises DTR and RTS for adapters that take their supply from them, hands every
// byte to the system before Write returns, and tells a device that went away from a busy one.
class SerialDeviceTransport : public platform::ByteTransport {
public:
    // ports: where a missing device's message looks for the ports present; nullptr for the
    // system's own.
    SerialDeviceTransport(QString device, const platform::PortEnumeration* ports = nullptr);
    ~SerialDeviceTransport() override;

    int Open(const platform::LineSettings& line) override;
    // Hands on what is still queued first; raises 8019 (after closing) when it could not.
    void Close() override;
    void Write(const QByteArray& bytes) override;
    QByteArray Read(int waitMs = 0) override;
    bool Dsr() const override;
    bool StillThere(QString* why) const override;

private:
    [[noreturn]] void FailedOnTheLine(int number, const QString& words) const;
    void ApplyLine();
    void Drain(int timeoutMs);

    QString named_;  // as the user gave it
    QString device_; // the path it comes to
    const platform::PortEnumeration* ports_;
    std::unique_ptr<QSerialPort> serial_;
    QString openKey_; // the device held open, as registered against opening it twice
    platform::LineSettings line_;
    QString readFailure_; // why the system could not be read, until Read reports it
};

} // namespace transport
