#pragma once

#include "platform/ByteTransport.h"
#include "platform/LineSettings.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QString>
#include <functional>
#include <memory>

namespace core {

// The serial port control the programmer drives, over whatever byte transport the device
// gives: port number and device (changed while closed, taking effect at the next open), the
// line settings text, the receive queue of InBufferSize bytes, the receive event (comEvReceive
// once RThreshold bytes are queued), one read taking InputLen bytes (0 for all), the DSR line.
// Each open makes a new transport through the opener. Every failure is a RuntimeError
// numbered 8000..8021 by its meaning (8002 no such port, 8005 held by another process, 8012
// not open, ...).
class PortControl {
public:
    static constexpr int comEvReceive = 2;
    // The closed transport a device name gives; raises 8002 for a name that gives none.
    using Opener = std::function<std::unique_ptr<platform::ByteTransport>(const QString& device)>;

    explicit PortControl(Opener opener);
    ~PortControl();
    PortControl(const PortControl&) = delete;
    PortControl& operator=(const PortControl&) = delete;

    // Port number 1..8 (0 for a device named directly), for the messages.
    void SetCommPort(int port) { commPort_ = port; }
    int CommPort() const { return commPort_; }
    // The system device the next open opens ("/dev/ttyUSB0", "COM3", "sim").
    void SetDevice(const QString& device) { device_ = device; }
    QString Device() const { return device_; }

    bool PortOpen() const { return transport_ != nullptr; }
    // Opening an open port raises 8013; closing hands on what is queued first.
    void SetPortOpen(bool open);

    // "9600,N,8,1"; a malformed text is refused (8009), open or not. Takes effect at the next
    // open.
    void SetSettings(const QString& settings);
    QString Settings() const { return settingsText_; }
    void SetRThreshold(int threshold);
    int RThreshold() const { return rThreshold_; }
    void SetInputLen(int length); // error 5 when negative
    int InputLen() const { return inputLen_; }
    void SetInBufferSize(int size); // only while closed (8000); 8011 when below 1
    int InBufferSize() const { return inBufferSize_; }
    void SetOutBufferSize(int size); // only while closed (8000); 8011 when below 1
    int OutBufferSize() const { return outBufferSize_; }

    // Puts the bytes on the wire before it returns.
    void Output(const QByteArray& bytes);
    // At most InputLen bytes from the input queue; empty when nothing is queued. A failure of
    // the carrier is raised once what came before it has been read.
    QByteArray Input();
    // Bytes waiting in the input queue (0 while closed).
    int InBufferCount() const;
    // The last event of the port (comEvReceive once data arrived while RThreshold is 1); a
    // closed port keeps the event of its last session.
    int CommEvent() const;
    bool DSRHolding() const;
    // How long from now until a byte written reaches the adapter's line on its own, not
    // together with the next: a terminal server opens its port only once it has taken the
    // connection and holds what comes before. 0 for a line that is there when open.
    double LineOpensInMs() const;
    // Whether the open port can still carry the adapter's bytes: no failure seen since it
    // opened and the device still there. Why not, when not.
    bool StillThere(QString* why) const;

private:
    void RequireOpen() const;
    void RequireClosed() const;
    // Moves what has arrived into the queue; a failure waits until the queue is read empty.
    void Pull() const;
    void Deliver(const QByteArray& data) const;

    Opener opener_;
    std::unique_ptr<platform::ByteTransport> transport_; // the session open now
    int commPort_ = 1;
    QString device_;
    QString settingsText_ = QStringLiteral("9600,N,8,1");
    platform::LineSettings line_;
    int rThreshold_ = 0;
    int inputLen_ = 0;
    int inBufferSize_ = 1024;
    int outBufferSize_ = 512;
    QDeadlineTimer lineOpens_; // when the far end's line is open for this session

    mutable QByteArray queue_;
    mutable int commEvent_ = 0;
    mutable bool pulling_ = false;
    mutable int failureNumber_ = 0;
    mutable QString failure_;
};

} // namespace core
