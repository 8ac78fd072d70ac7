#pragma once

#include <QList>
#include <QString>

namespace platform {

// A serial port the system has now.
struct SystemPort {
    QString path;       // "/dev/ttyUSB0"
    QString stablePath; // "/dev/serial/by-id/usb-FTDI_...-if00-port0" where there is one
    QString description;
    QString manufacturer;
    QString serialNumber; // of a USB adapter
    int vendorId = -1;    // USB VID and PID, -1 where there are none
    int productId = -1;

    // "0403:6001", or "" without USB identifiers.
    QString UsbIds() const;
    // The name to give the port by: its stable path where it has one.
    QString PreferredName() const { return stablePath.isEmpty() ? path : stablePath; }
};

// The serial ports present, looked up anew at every call (adapters come and go).
class PortEnumeration {
public:
    virtual ~PortEnumeration() = default;
    virtual QList<SystemPort> Ports() const = 0;
};

// QSerialPortInfo, with the stable paths of /dev/serial/by-id.
class QtPortEnumeration : public PortEnumeration {
public:
    QList<SystemPort> Ports() const override;
};

// The USB adapter with serial number `serial` among ports: its path, or "" with why (none or
// more than one present, naming those present).
QString FindUsbAdapter(const QList<SystemPort>& ports, const QString& serial, QString* why);

} // namespace platform
