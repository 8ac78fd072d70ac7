#pragma once

#include "LineSettings.h"

#include <QByteArray>
#include <QString>
#include <functional>

namespace platform {

// A port as a carrier of bytes, whatever carries them (a serial device, a terminal server
// over TCP, RFC 2217, the simulated adapter): open it with the line settings, write bytes that
// are on their way before the call returns, read what has arrived, the DSR line, close.
// Failures are RuntimeErrors numbered by meaning (8002 no such port, 8005 in use, 8099 with
// the system's words).
class ByteTransport {
public:
    virtual ~ByteTransport() = default;

    // Opens the port with this line. Returns how long the far end still needs before a byte
    // written reaches the adapter's line (a terminal server opening its port for the new
    // session), in ms; 0 when at once.
    virtual int Open(const LineSettings& line) = 0;
    // Hands on what is still queued, then closes.
    virtual void Close() = 0;
    virtual void Write(const QByteArray& bytes) = 0;
    // What has arrived since the last read, waiting at most waitMs for the first of it.
    // A failure of the carrier (a dropped connection) is raised once what came before it
    // has been read.
    virtual QByteArray Read(int waitMs = 0) = 0;
    // The DSR line; a carrier that has no modem lines counts as holding it.
    virtual bool Dsr() const = 0;
    // Whether the port can still carry bytes; why not, when not.
    virtual bool StillThere(QString* why) const = 0;

    // Called from the event loop when bytes may have arrived.
    std::function<void()> onArrival;
};

} // namespace platform
