#pragma once

#include <QByteArray>
#include <QString>

namespace platform {

// The rules of the serial port control that hold whatever carries the bytes: which
// properties may change while the port is open, how the receive queue of InBufferSize bytes
// fills, when the receive event is raised (RThreshold bytes queued) and how much one read
// takes (InputLen, 0 for everything). Every SerialPort keeps one and feeds it what its line
// delivers, so a real device and the simulated adapter cannot drift apart.
class SerialControl {
public:
    static constexpr int comEvReceive = 2;

    bool Open() const { return open_; }
    // A session starts afresh: nothing queued, no event from an earlier one.
    void StartSession();
    void EndSession() { open_ = false; }

    // 8012 when closed, 8000 when open.
    void RequireOpen() const;
    void RequireClosed() const;

    int RThreshold() const { return rThreshold_; }
    void SetRThreshold(int threshold) { rThreshold_ = threshold; }
    int InputLen() const { return inputLen_; }
    void SetInputLen(int length); // error 5 when negative
    int InBufferSize() const { return inBufferSize_; }
    void SetInBufferSize(int size); // only while closed; 8011 when below 1
    int OutBufferSize() const { return outBufferSize_; }
    void SetOutBufferSize(int size); // only while closed; 8011 when below 1

    // Bytes that came off the line, in order, under the receive threshold in force now. A
    // full queue drops what does not fit, as a real port's queue overruns.
    void Deliver(const char* data, qsizetype size);
    void Deliver(const QByteArray& data) { Deliver(data.constData(), data.size()); }
    // At most InputLen bytes from the queue (all of it for 0); empty when nothing is queued.
    QByteArray Take();

    int InBufferCount() const { return int(queue_.size()); }
    int CommEvent() const { return commEvent_; }
    int Dropped() const { return dropped_; }

private:
    bool open_ = false;
    int rThreshold_ = 0;
    int inputLen_ = 0;
    int inBufferSize_ = 1024;
    int outBufferSize_ = 512;
    QByteArray queue_;
    int commEvent_ = 0;
    int dropped_ = 0;
};

} // namespace platform
