#pragma once

#include <QString>
#include <functional>

namespace platform {
class Clock;
} // namespace platform

namespace core {

class PortControl;

class StopRequest;

// Thrown out of a wait when a stop request is honoured there; level is what was requested.
struct OperationStopped {
    int level;
};

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
    // Taking bytes as they arrive: the first must come within this time of "c", ...
    static constexpr double FastFirstByteMs = 1000;
    // ... and each next one within this time of the one before.
    static constexpr double FastNextByteMs = 250;
    // How often a wait for arriving bytes looks at the port: the bytes of one look are
    // taken together, so the program wakes a few dozen times a block, not once a byte.
    static constexpr double FastPollMs = 8;

    using ByteHandler = std::function<bool(int count, unsigned char byte)>;

    AdapterLink(PortControl& port, platform::Clock& clock, const StopRequest& stop);

    // Whether a cancel request is honoured at the waits from now on (an abort always is).
    void SetCancellable(bool cancellable) { cancellable_ = cancellable; }
    bool Cancellable() const { return cancellable_; }

    // Port open (and the wait until the far end's line is open), family letter, 10 ms,
    // command letter, 10 ms. beforeLetter runs just before
    // the command letter goes out (from then on the adapter may act on it).
    void OpenLink(char family, char command, const std::function<void()>& beforeLetter = {});
    // What arrived unasked dropped, receive notification on, "c" sent, the settle delay. Returns
    // when "c" went out.
    double StartDataPhase(float settleMs);
    // One byte on the wire, then 2 ms.
    void SendDataByte(unsigned char byte);
    // n polled receive steps; onByte gets each byte taken, counted from 1, and returns
    // false to end the loop. Steps that find nothing take nothing. Returns the bytes taken.
    int ReceiveBlock(int n, const ByteHandler& onByte);
    // Takes up to n bytes as they arrive: the first within FastFirstByteMs of cSentMs, each
    // next within FastNextByteMs of the one before; a later byte ends the read short.
    int ReceiveArriving(int n, double cSentMs, const ByteHandler& onByte);
    // "e" sent (the announced operation is abandoned), port closed.
    void AbandonLink();
    void CloseLink();
    // Whether the port can still carry the adapter's bytes; why not, when not.
    bool PortStillThere(QString* why) const;

    // A wait through Pause that ends with OperationStopped when a stop is honoured.
    void Wait(float ms);

private:
    bool StopHonoured() const;

    PortControl& port_;
    platform::Clock& clock_;
    const StopRequest& stop_;
    bool cancellable_ = false;
};

} // namespace core
