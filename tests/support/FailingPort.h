#pragma once

#include "platform/RuntimeError.h"
#include "platform/SerialPort.h"

#include <functional>

// Passes all to another port until a chosen write or read fails, as on an unplugged adapter.
class FailingPort : public platform::SerialPort {
public:
    explicit FailingPort(platform::SerialPort& inner) : inner_(inner) {}

    int failOnWrite = -1; // the write (counted from 1) that fails
    int failOnRead = -1;  // the read (counted from 1) that fails
    int errorNumber = 8019;
    int writes = 0;
    int reads = 0;
    std::function<void(int writes)> afterWrite; // runs once each write is on the wire

    void SetCommPort(int port) override { inner_.SetCommPort(port); }
    void SetDevice(const QString& device) override { inner_.SetDevice(device); }
    QString Device() const override { return inner_.Device(); }
    int CommPort() const override { return inner_.CommPort(); }
    bool PortOpen() const override { return inner_.PortOpen(); }
    void SetPortOpen(bool open) override { inner_.SetPortOpen(open); }
    void SetSettings(const QString& settings) override { inner_.SetSettings(settings); }
    QString Settings() const override { return inner_.Settings(); }
    void SetRThreshold(int threshold) override { inner_.SetRThreshold(threshold); }
    int RThreshold() const override { return inner_.RThreshold(); }
    void SetInputLen(int length) override { inner_.SetInputLen(length); }
    void SetInBufferSize(int size) override { inner_.SetInBufferSize(size); }
    void SetOutBufferSize(int size) override { inner_.SetOutBufferSize(size); }
    void Output(const QByteArray& bytes) override {
        if (++writes == failOnWrite) {
            throw platform::RuntimeError(errorNumber, QStringLiteral("write failed"));
        }
        inner_.Output(bytes);
        if (afterWrite) {
            afterWrite(writes);
        }
    }
    QByteArray Input() override {
        if (++reads == failOnRead) {
            throw platform::RuntimeError(errorNumber, QStringLiteral("read failed"));
        }
        return inner_.Input();
    }
    int CommEvent() const override { return inner_.CommEvent(); }
    bool DSRHolding() const override { return inner_.DSRHolding(); }
    int InBufferCount() const override { return inner_.InBufferCount(); }
    bool StillThere(QString* why) const override {
        if (vanished) {
            *why = QStringLiteral("the adapter or its cable went away");
            return false;
        }
        return inner_.StillThere(why);
    }

    bool vanished = false; // the device went away without a failing read or write

private:
    platform::SerialPort& inner_;
};
