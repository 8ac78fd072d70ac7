#pragma once

#include <QString>
#include <functional>

namespace platform {
class Clock;
class SerialPort;
} // namespace platform

// The number of bytes in one transfer for a family code: 256 for "y" and "t", else 512.
int BlockSize(const QString& deviceCode);

// Thrown out of a wait when the program closes under a running operation.
struct OperationAborted {};

// The wire protocol with the programming adapter: one-letter commands, fixed waits, bytes
// paced out and polled in. There are no acknowledgements; the protocol is carried by timing.
class AdapterLink {
public:
    // Wait after the family letter and after the command letter.
    static constexpr float CommandGapMs = 10;
    // Between seeing data received and taking the byte.
    static constexpr float ReceiveStepMs = 75;
    // After each data byte sent.
    static constexpr float SendGapMs = 2;
    // One of the settle waits after the last data byte of a programming.
    static constexpr float SettleStepMs = 900;

    AdapterLink(platform::SerialPort& port, platform::Clock& clock, const bool& abort);

    // Port open, family letter, 10 ms, command letter, 10 ms.
    void OpenLink(const QString& deviceCode, char command);
    // Receive notification on, "c" sent, then the settle delay.
    void StartDataPhase(float settleMs);
    // One byte on the wire, then 2 ms.
    void SendDataByte(unsigned char byte);
    // n polled receive steps; onByte gets each byte taken, counted from 1, and returns
    // false to end the loop. Steps that find nothing write nothing. Returns the bytes taken.
    int ReceiveBlock(int n, const std::function<bool(int count, unsigned char byte)>& onByte);
    // "e" sent (the announced operation is abandoned), port closed.
    void AbandonLink();
    void CloseLink();
    // 13 waits of 900 ms for a 256-byte block, 26 for 512.
    void ProgramSettle(int blockSize);

    // A wait through Pause that ends the operation when the program is closing.
    void Wait(float ms);

private:
    platform::SerialPort& port_;
    platform::Clock& clock_;
    const bool& abort_;
};
