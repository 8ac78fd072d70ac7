#pragma once

#include <QByteArray>
#include <QString>

namespace platform {

// The serial port as the programmer uses it: one port control whose port number and device
// can be changed while it is closed. Every failure is a RuntimeError numbered 8000..8021 by
// its meaning (8002 no such port, 8005 held by another process, 8012 not open, ...).
class SerialPort {
public:
    virtual ~SerialPort() = default;

    static constexpr int comEvReceive = 2;

    // Port number 1..8 (0 for a device named directly); takes effect at the next open.
    virtual void SetCommPort(int port) = 0;
    virtual int CommPort() const = 0;
    // The system device the next open opens ("/dev/ttyUSB0", "COM3", "sim").
    virtual void SetDevice(const QString& device) = 0;
    virtual QString Device() const = 0;

    virtual bool PortOpen() const = 0;
    virtual void SetPortOpen(bool open) = 0;

    virtual void SetSettings(const QString& settings) = 0; // "9600,N,8,1"
    virtual QString Settings() const = 0;
    virtual void SetRThreshold(int threshold) = 0;
    virtual int RThreshold() const = 0;
    virtual void SetInputLen(int length) = 0;
    virtual void SetInBufferSize(int size) = 0;
    virtual void SetOutBufferSize(int size) = 0;

    // Puts the bytes on the wire before it returns.
    virtual void Output(const QByteArray& bytes) = 0;
    // At most InputLen bytes from the input queue; empty when nothing is queued.
    virtual QByteArray Input() = 0;
    // Bytes waiting in the input queue.
    virtual int InBufferCount() const = 0;
    // The last event of the port (comEvReceive once data arrived while RThreshold is 1).
    virtual int CommEvent() const = 0;
    virtual bool DSRHolding() const = 0;
    // Whether the open port can still carry the adapter's bytes: no failure seen since it
    // opened and the device still there. An empty answer is no sign of a good chip: an
    // adapter pulled while the chip settles sends nothing either way. Why not, when not.
    // How long from now until a byte written reaches the adapter's line on its own, not
    // together with the next: a terminal server opens its port only once it has taken the
    // connection and holds what comes before. 0 for a line that is there when open.
    virtual double LineOpensInMs() const { return 0; }
    virtual bool StillThere(QString* why) const {
        (void)why;
        return PortOpen();
    }
};

} // namespace platform
