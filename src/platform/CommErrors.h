#pragma once

namespace platform {

// The serial port control's error numbers, named by meaning. A port implementation raises
// these as RuntimeError numbers; frmMain's SerialErrors turns them into messages.
namespace CommError {
constexpr int PortOpened = 8000;    // operation not valid while the port is open
constexpr int PortInvalid = 8002;   // no such port or device
constexpr int PortInUse = 8005;     // held by another process
constexpr int BaudRate = 8007;      // baud rate not supported
constexpr int ByteSize = 8008;      // data bits not supported
constexpr int DefaultParams = 8009; // a malformed settings text
constexpr int Queues = 8011;        // queue size that cannot be allocated
constexpr int PortNotOpen = 8012;
constexpr int PortAlreadyOpen = 8013; // opened again while this program holds it open
constexpr int SetCommState = 8015;    // the device refused the line settings
constexpr int DeviceBusy = 8019;      // a write the device did not take
constexpr int ReadFailed = 8020;      // reading the port failed
constexpr int Internal = 8021;
} // namespace CommError

} // namespace platform
