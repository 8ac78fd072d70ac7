#pragma once

#include "core/Operations.h"
#include "production/BlockPatches.h"
#include "production/Journal.h"
#include "production/SerialNumbers.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

namespace platform {
class Clock;
}

namespace production {

// One operation of a production run, as both front ends run it: the journal opened with what
// an earlier run on the port could not hand over, for PROGRAM the series' next number taken
// and patched into the block and the chip read back, and at the end the operation's row
// recorded with the number's fate: used up by a chip that verified, given back on every other
// way out. A run without a journal records nothing. It shows nothing: the front ends word
// what it returns.
class ProductionRun {
public:
    explicit ProductionRun(platform::Clock& clock);
    ~ProductionRun();
    ProductionRun(const ProductionRun&) = delete;
    ProductionRun& operator=(const ProductionRun&) = delete;

    // Why a run may not start.
    struct Refusal {
        enum class Kind {
            Usage,   // the text given contradicts the store (or names no usable store)
            Store,   // the store cannot be reached or refused
            UsedUp,  // the series has no number the field can hold
            Outside, // the field does not lie wholly in the family's EEPROM
        };
        Kind kind = Kind::Store;
        QString why;
    };

    // Opens store for a run on the port opening device and applies what the pending file of
    // that store and device kept from an earlier run.
    std::optional<Refusal> Open(const QString& store, const QString& device, int timeoutSeconds);
    bool Journaled() const { return journal_ != nullptr; }

    // Hands this run the series' next number that field takes, for (bench, device); from now
    // on the run holds it until Record. A refused run keeps no journal open.
    std::optional<Refusal> TakeNumber(const core::SeriesRequest& series, const QString& device,
                                      int leaseSeconds, const core::SerialField& field,
                                      const core::Family& family);
    const std::optional<core::HeldNumber>& Held() const { return held_; }
    // "00000412h at 1FFCh": the held number as the chip holds it.
    QString WrittenNumber() const;

    // What PROGRAM lays into the block besides the number, checked before (Conflict).
    void SetPatches(BlockPatches patches) { patches_ = std::move(patches); }
    // What they did, a sentence each: "kept 16 bytes at 1E10h from the chip", "crc16 3A5Fh at
    // 1FFEh over 1E00h-1FFDh".
    const QStringList& Patched() const { return patched_; }

    // Where the row's time and duration start.
    void Begin();

    // A session of chip after chip: Record keeps the journal open for the next chip, whose run
    // starts with NextChip (the port and the journal stay, the rest starts afresh). Close ends
    // the session.
    void KeepOpen() { keepOpen_ = true; }
    void NextChip();
    void Close() { journal_.reset(); }

    struct Programmed {
        // The chip read first, for the bytes it keeps; when that failed, nothing was sent and
        // program is that READ's outcome.
        std::optional<core::Outcome> chipRead;
        core::Outcome program;
        std::optional<core::Outcome> readBack; // nothing when it was not made
        // With skipSame: the chip already held the block, so nothing was sent (program is
        // Done with the chip's bytes and no byte sent).
        bool same = false;
    };
    // PROGRAM through operations with the block the observer chooses (the chip read first when
    // bytes of it are kept), the kept bytes, the held number and the checksums patched into it
    // (an image that is not one block long is asked about first, then cut or filled up with
    // FFh); then, when readBack is asked for or a number is held, the chip read back and
    // compared with what was sent, unless beforeReadBack says no. After the chip was read
    // first, beforeProgram saying no cancels the PROGRAM before it starts.
    Programmed Program(core::Operations& operations, const core::Family& family,
                       core::OperationObserver& observer, const core::OperationOptions& options,
                       bool readBack, const std::function<bool()>& beforeReadBack = {},
                       const std::function<bool()>& beforeProgram = {});
    // The chip was programmed and read back equal.
    bool Verified() const { return verified_; }
    // The chip already held the block: nothing was written.
    bool Same() const { return same_; }
    // What a chip that was the same is told: "PROGRAM: same: TMS370C756A already holds fw.bin;
    // nothing was written, CRC-32 ..., serial 50 kept".
    QString SameLine(const QString& device, const QString& file) const;
    // The number a chip that was the same holds in the serial field, when it holds one.
    const std::optional<qint64>& FoundNumber() const { return found_; }
    // The block PROGRAM sent, number and all.
    const QByteArray& Sent() const { return sent_; }

    // A signal from now on also ends a wait for the journal's server.
    void WatchStop(const core::StopRequest* stop);

    // What the row says of the operation besides its outcome.
    struct Place {
        QString port;   // as the user named it
        QString device; // the system device it opens
        QString chip;
        QString image;  // the image file, "" for none
        QString recipe; // the recipe followed, and its SHA-256
        QString recipeSha256;
    };
    struct Recorded {
        bool written = true;    // false: the store could not be told (why says what became of it)
        bool givenBack = false; // the held number went back to its series
        QString why;
    };
    // The operation's row (last: its final outcome, nothing when the port never opened), and
    // the held number used up or given back, in one transaction; then the journal is closed.
    Recorded Record(core::Operation operation, const core::Outcome* last, const Place& place);

private:
    core::JournalRow Row(core::Operation operation, const core::Outcome* last,
                         const Place& place) const;

    platform::Clock& clock_;
    std::unique_ptr<core::Journal> journal_;
    std::optional<core::SerialField> field_;
    std::optional<core::HeldNumber> held_;
    BlockPatches patches_;
    QStringList patched_;
    QByteArray sent_;
    bool verified_ = false;
    bool same_ = false;
    std::optional<qint64> found_;
    bool keepOpen_ = false;
    QDateTime startedAt_;
    double startedMs_ = 0;
};

} // namespace production
