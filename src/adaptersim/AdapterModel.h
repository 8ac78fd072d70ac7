#pragma once

#include "AdapterFaults.h"
#include "WireByte.h"

#include <QByteArray>
#include <deque>
#include <functional>
#include <optional>
#include <vector>

namespace adaptersim {

// The programming adapter's side of the serial line. It is fed the program's bytes with
// their times and answers with reply bytes that carry the times they arrive; it keeps no
// clock of its own, so the same model serves virtual time in tests and real time in the
// pseudo-terminal tool.
//
// An exchange: a family letter (x: 512-byte block, y and t: 256-byte block in the upper
// half of the EEPROM), then a command letter: r read, p program, v verify (each waits for
// "c" to start its data phase, or "e" to abandon it), w clears the WPO register to 00h,
// b erases the EEPROM to FFh. After "c", READ sends the block and VERIFY one mark per byte
// (101 where the chip differs from what was last programmed there), each at the line's pace;
// PROGRAM stores the block's bytes as they come.
class AdapterModel {
public:
    static constexpr int EepromSize = 512;
    // 10 bits a byte at 9600 baud.
    static constexpr double LineMsPerByte = 10.0 * 1000.0 / 9600.0;
    static constexpr std::uint8_t MismatchMark = 101;
    static constexpr std::uint8_t MatchMark = 0x00;
    // A PROGRAM block that pauses longer than this between bytes was given up by the
    // program; the next byte starts a new exchange.
    static constexpr double ProgramGapMs = 1000.0;

    enum class State {
        AwaitFamily,  // idle: the next family letter starts an exchange
        AwaitCommand, // family chosen
        Announced,    // r, p or v received; waiting for "c" or "e"
        Programming,  // taking the block's bytes
    };

    AdapterModel();

    AdapterFaults& Faults() { return faults_; }
    const AdapterFaults& Faults() const { return faults_; }

    // The chip. SetEeprom loads an image (missing bytes are FFh, extra ones ignored) and
    // makes it the reference VERIFY compares against, as if it had been programmed.
    const QByteArray& Eeprom() const { return eeprom_; }
    void SetEeprom(const QByteArray& image);
    // The family's block of the EEPROM in transfer order.
    QByteArray Block(char family) const;
    std::uint8_t Wpo() const { return wpo_; }
    void SetWpo(std::uint8_t value) { wpo_ = value; }
    // The bytes the last PROGRAM stored, in order (empty before the first).
    const QByteArray& LastProgrammed() const { return lastProgrammed_; }
    State CurrentState() const { return state_; }
    char Family() const { return family_; }

    static int BlockSize(char family) { return family == 'y' || family == 't' ? 256 : 512; }

    // The line. Open and Close bracket one session of the program's port: a session starts
    // at the family letter with nothing pending; replies not yet sent at Close are dropped.
    void Open(double nowMs);
    void Close(double nowMs);
    // A byte from the program that crossed the line at timeMs.
    void Receive(std::uint8_t byte, double timeMs);
    // The reply bytes that have arrived by nowMs, in order; each is logged as it is taken.
    std::vector<WireByte> TakeReplies(double nowMs);
    // When the next reply byte arrives; nothing when none is pending.
    std::optional<double> NextReplyMs() const;

    // Every byte that crossed, both ways, in order of time.
    const std::vector<WireByte>& WireLog() const { return log_; }
    std::vector<WireByte> WireLog(Direction direction) const;
    QByteArray WireBytes(Direction direction) const;
    void ClearWireLog() { log_.clear(); }
    // Called for every byte as it is logged (the tool writes its log file with it).
    void SetWireObserver(std::function<void(const WireByte&)> observer);

private:
    static bool IsFamily(std::uint8_t byte) { return byte == 'x' || byte == 'y' || byte == 't'; }
    int BlockBase() const { return family_ == 'x' ? 0 : EepromSize - BlockSize(family_); }
    int DataLimit(int blockSize) const;
    double Pace() const { return faults_.msPerByte > 0 ? faults_.msPerByte : LineMsPerByte; }
    void StartExchange(std::uint8_t family);
    void StartDataPhase(double timeMs);
    void Send(const QByteArray& bytes, double startMs);
    void Log(const WireByte& wire);

    AdapterFaults faults_;
    QByteArray eeprom_;
    QByteArray reference_; // what VERIFY compares the chip with, address by address
    QByteArray lastProgrammed_;
    std::uint8_t wpo_ = 0xff;

    State state_ = State::AwaitFamily;
    char family_ = 'x';
    char command_ = 0;
    int programmed_ = 0; // bytes of the PROGRAM block received so far
    int programs_ = 0;   // PROGRAM data phases begun
    bool spoiling_ = false;
    double lastReceiveMs_ = 0;

    std::deque<WireByte> pending_;
    std::vector<WireByte> log_;
    std::function<void(const WireByte&)> observer_;
};

} // namespace adaptersim
