#include "ProductionRun.h"

#include "core/Checksums.h"
#include "platform/Clock.h"

#include <QFileInfo>
#include <QSysInfo>
#include <limits>

namespace production {

using core::Operation;
using core::Status;

namespace {

// The front end's progress for a READ whose block stays in memory.
class ReadingChip : public core::OperationObserver {
public:
    explicit ReadingChip(core::OperationObserver& inner) : inner_(inner) {}
    void OnProgress(const core::Progress& progress) override { inner_.OnProgress(progress); }
    std::optional<QString> ChooseReadTarget() override { return QString(); }

private:
    core::OperationObserver& inner_;
};

// The front end's observer, with the chip's kept bytes, the held number and the checksums
// patched into the block PROGRAM sends.
class Patching : public core::OperationObserver {
public:
    Patching(core::OperationObserver& inner, const core::Family& family,
             const std::optional<core::HeldNumber>& held,
             const std::optional<core::SerialField>& field, const BlockPatches& patches,
             const QByteArray& chip, QStringList* said)
        : inner_(inner), family_(family), held_(held), field_(field), patches_(patches),
          chip_(chip), said_(said) {}

    void OnProgress(const core::Progress& progress) override { inner_.OnProgress(progress); }
    std::optional<QString> ChooseReadTarget() override { return inner_.ChooseReadTarget(); }
    std::optional<core::ImageSource> ChooseProgramSource() override {
        if (chosen_) {
            return chosen_;
        }
        std::optional<core::ImageSource> source = inner_.ChooseProgramSource();
        if (!source || !source->block || (!held_ && patches_.Empty())) {
            return source;
        }
        // Patches go into a whole block: an image of another size is asked about first, as
        // without them, then cut or filled up with FFh.
        QByteArray& block = *source->block;
        const int n = family_.blockSize;
        if (block.size() != n && !inner_.AcceptImageSize(source->path, block.size(), n)) {
            return std::nullopt;
        }
        block = block.left(n);
        block.append(n - block.size(), char(0xFF));
        if (!patches_.keep.isEmpty()) {
            block = patches_.Keep(block, chip_, family_);
            *said_ = patches_.KeptText();
        }
        if (held_) {
            block = core::PatchSerial(block, *field_, family_, quint64(held_->number));
        }
        block = patches_.WriteChecksums(block, family_, said_);
        return source;
    }
    // The source chosen before PROGRAM started, given again when PROGRAM asks.
    void Choose(const core::ImageSource& source) { chosen_ = source; }
    // Whether the chip already holds block once the serial field holds the chip's own
    // number (and the checksums are taken over that).
    bool ChipHolds(QByteArray block) const {
        if (block.size() != chip_.size()) {
            return false;
        }
        if (field_) {
            const int at = field_->address - family_.eepromFirst;
            block.replace(at, field_->bytes, chip_.mid(at, field_->bytes));
            QStringList ignored;
            block = patches_.WriteChecksums(block, family_, &ignored);
        }
        return block == chip_;
    }
    bool AcceptImageSize(const QString& path, qint64 size, int blockSize) override {
        return inner_.AcceptImageSize(path, size, blockSize);
    }
    bool ReplaceReadOnly(const QString& path) override { return inner_.ReplaceReadOnly(path); }
    bool ReplaceWithShortRead(const QString& path, int received, int blockSize) override {
        return inner_.ReplaceWithShortRead(path, received, blockSize);
    }

private:
    core::OperationObserver& inner_;
    const core::Family& family_;
    const std::optional<core::HeldNumber>& held_;
    const std::optional<core::SerialField>& field_;
    const BlockPatches& patches_;
    const QByteArray& chip_;
    QStringList* said_;
    std::optional<core::ImageSource> chosen_;
};

} // namespace

ProductionRun::ProductionRun(platform::Clock& clock) : clock_(clock) {}

ProductionRun::~ProductionRun() = default;

std::optional<ProductionRun::Refusal>
ProductionRun::Open(const QString& store, const QString& device, int timeoutSeconds) {
    QString why;
    bool usage = false;
    journal_ = core::Journal::Open(store, &why, &usage, false, timeoutSeconds);
    if (!journal_) {
        return Refusal{usage ? Refusal::Kind::Usage : Refusal::Kind::Store, why};
    }
    // What an earlier run on this port could not hand to the store goes first.
    journal_->SetPendingFile(core::PendingFileFor(store, device));
    if (!journal_->ApplyPending(&why)) {
        journal_.reset();
        return Refusal{Refusal::Kind::Store, why};
    }
    return std::nullopt;
}

std::optional<ProductionRun::Refusal> ProductionRun::TakeNumber(const core::SeriesRequest& series,
                                                                const QString& device,
                                                                int leaseSeconds,
                                                                const core::SerialField& field,
                                                                const core::Family& family) {
    if (const QString outside = core::FieldOutsideEeprom(field, family); !outside.isEmpty()) {
        journal_.reset(); // nothing is recorded for a run that never started
        return Refusal{Refusal::Kind::Outside, outside};
    }
    if (!journal_) {
        return Refusal{Refusal::Kind::Usage, QStringLiteral("serial numbers need a journal")};
    }
    // A number the field cannot hold is never handed out: the field is used up.
    const core::Journal::Taken taken =
        journal_->Take(series, QSysInfo::machineHostName(), device, leaseSeconds,
                       core::LargestSerial(field.bytes, field.format));
    if (!taken.number) {
        const Refusal::Kind kind =
            taken.failure == core::Journal::Failure::Usage    ? Refusal::Kind::Usage
            : taken.failure == core::Journal::Failure::UsedUp ? Refusal::Kind::UsedUp
                                                              : Refusal::Kind::Store;
        journal_.reset(); // nothing is recorded for a run that never started
        return Refusal{kind, taken.why};
    }
    held_ = taken.number;
    field_ = field;
    return std::nullopt;
}

QString ProductionRun::WrittenNumber() const {
    return held_ && field_ ? core::WrittenSerial(*field_, quint64(held_->number)) : QString();
}

void ProductionRun::NextChip() {
    held_.reset();
    sent_.clear();
    patched_.clear();
    verified_ = false;
    same_ = false;
    found_.reset();
    Begin();
}

void ProductionRun::Begin() {
    startedAt_ = QDateTime::currentDateTimeUtc();
    startedMs_ = clock_.NowMs();
}

ProductionRun::Programmed
ProductionRun::Program(core::Operations& operations, const core::Family& family,
                       core::OperationObserver& observer, const core::OperationOptions& options,
                       bool readBack, const std::function<bool()>& beforeReadBack,
                       const std::function<bool()>& beforeProgram) {
    Programmed result;
    QByteArray chip;
    patched_.clear();
    same_ = false;
    found_.reset();
    const auto cancelled = [&] {
        result.program = core::Outcome{};
        result.program.operation = Operation::Program;
        result.program.status = Status::Cancelled;
        result.program.blockSize = family.blockSize;
        return result;
    };
    if (patches_.ReadsChipFirst()) {
        ReadingChip reading(observer);
        result.chipRead = operations.Run(Operation::Read, family, reading, options);
        if (result.chipRead->status != Status::Done) {
            result.program = *result.chipRead;
            return result;
        }
        chip = result.chipRead->data;
        if (beforeProgram && !beforeProgram()) {
            return cancelled();
        }
    }
    Patching patching(observer, family, held_, field_, patches_, chip, &patched_);
    if (patches_.skipSame) {
        // The block is made once, compared with the chip, and sent only when they differ.
        const std::optional<core::ImageSource> source = patching.ChooseProgramSource();
        if (!source) {
            return cancelled();
        }
        if (source->block && patching.ChipHolds(*source->block)) {
            same_ = true;
            result.same = true;
            if (field_) {
                const int at = field_->address - family.eepromFirst;
                const std::optional<quint64> number =
                    core::DecodeSerial(chip.mid(at, field_->bytes), field_->format);
                if (number && *number <= quint64(std::numeric_limits<qint64>::max())) {
                    found_ = qint64(*number);
                }
            }
            sent_ = chip;
            cancelled();
            result.program.status = Status::Done;
            result.program.data = chip;
            result.program.path = source->path;
            return result;
        }
        patching.Choose(*source);
    }
    result.program = operations.Run(Operation::Program, family, patching, options);
    sent_ = result.program.data;
    // A numbered chip is always read back: only one that verified uses its number up.
    if (result.program.status != Status::Done || (!readBack && !held_) ||
        (beforeReadBack && !beforeReadBack())) {
        return result;
    }
    result.readBack = operations.VerifyAgainst(family, sent_, observer, options);
    verified_ = result.readBack->status == Status::Done;
    return result;
}

QString ProductionRun::SameLine(const QString& device, const QString& file) const {
    QString line = QStringLiteral("PROGRAM: same: %1 already holds %2; nothing was written, %3")
                       .arg(device, file, core::ChecksumText(sent_));
    if (held_) {
        line += found_ ? QStringLiteral(", serial %1 kept").arg(*found_)
                       : QStringLiteral(", its serial field holds no number");
    }
    return line;
}

void ProductionRun::WatchStop(const core::StopRequest* stop) {
    if (journal_) {
        journal_->WatchStop(stop);
    }
}

core::JournalRow ProductionRun::Row(Operation operation, const core::Outcome* last,
                                    const Place& place) const {
    core::JournalRow row;
    row.time = startedAt_;
    row.bench = QSysInfo::machineHostName();
    row.port = place.port;
    row.device = place.device;
    row.chip = place.chip;
    row.operation = core::OperationName(operation);
    row.image = place.image.isEmpty() ? QString() : QFileInfo(place.image).absoluteFilePath();
    row.imageSha256 = core::FileSha256(place.image);
    if (held_) {
        row.series = held_->series;
        row.serial = held_->number;
        if (same_) {
            // The number is given back: the row names the one the chip keeps.
            row.serial = found_;
        }
    }
    row.result = same_  ? QStringLiteral("same")
                 : last ? core::JournalResult(last->status)
                        : QStringLiteral("port error");
    if (verified_ || same_) {
        row.crc32 = core::Crc32Text(sent_);
    } else if (last && (last->status == Status::Done || last->status == Status::Mismatch) &&
               !last->data.isEmpty() && last->data.size() == last->blockSize &&
               (last->operation == Operation::Read || last->operation == Operation::Verify)) {
        // What the chip holds, when the operation took all of it.
        row.crc32 = core::Crc32Text(last->data);
    }
    row.durationMs = qint64(clock_.NowMs() - startedMs_);
    row.version = QStringLiteral(TMS370_VERSION);
    row.patches = patched_.join(QStringLiteral("; "));
    row.recipe = place.recipe;
    row.recipeSha256 = place.recipeSha256;
    return row;
}

// The run's row, and the fate of its number: used up by a chip that verified, given back by any
// other. When the store cannot be told (or the number is found in two chips), why says where
// the result was kept, or that a person must settle the number.
ProductionRun::Recorded ProductionRun::Record(Operation operation, const core::Outcome* last,
                                              const Place& place) {
    Recorded recorded;
    if (!journal_) {
        return recorded;
    }
    const core::JournalRow row = Row(operation, last, place);
    recorded.written = held_ ? journal_->Settle(*held_, verified_, row, &recorded.why)
                             : journal_->Add(row, &recorded.why);
    recorded.givenBack = held_ && !verified_ && recorded.written;
    if (!keepOpen_) {
        journal_.reset(); // the run is over: its connection goes
    }
    return recorded;
}

} // namespace production
