// The five operations on a port whose adapter answers with the fuzzer's bytes at the
// fuzzer's times, on a virtual clock: slow and fast receive, stops requested at any time,
// a port that fails at its open, a write or a read. Whatever comes, the operation ends
// within its own time bounds, never takes more than a block, and leaves the port closed.
#include "FakeClock.h"
#include "FuzzSupport.h"
#include "FuzzTransport.h"
#include "core/Operations.h"
#include "core/PortControl.h"

#include <QFile>

namespace {

// Where READ puts the block: nowhere (cancelled), in memory, a new file, or over a file.
enum class Target { None, Memory, NewFile, OldFile };

// PROGRAM's image and the answers to the questions an operation asks.
class Observer : public core::OperationObserver {
public:
    Observer(QByteArray image, bool acceptSize, Target target, bool replaceShort)
        : image_(std::move(image)), accept_(acceptSize), target_(target),
          replaceShort_(replaceShort) {}

    void OnProgress(const core::Progress& progress) override {
        fuzz::Check(progress.done >= 0 && progress.done <= progress.total,
                    "progress stays within its total");
        fuzz::Check(progress.leftMs >= 0, "time left is never negative");
    }
    std::optional<QString> ChooseReadTarget() override {
        switch (target_) {
        case Target::None:
            return std::nullopt;
        case Target::Memory:
            return QString();
        default:
            return ReadPath();
        }
    }
    std::optional<core::ImageSource> ChooseProgramSource() override {
        return core::ImageSource{QStringLiteral("image.bin"), image_};
    }
    bool AcceptImageSize(const QString&, qint64, int) override { return accept_; }
    bool ReplaceWithShortRead(const QString&, int, int) override { return replaceShort_; }

    static QString ReadPath() { return fuzz::ScratchPath(QStringLiteral("read.bin")); }

private:
    QByteArray image_;
    bool accept_;
    Target target_;
    bool replaceShort_;
};

// A gap before the next byte: mostly a few milliseconds, now and then seconds.
double GapMs(uint8_t b) {
    return b < 200 ? b * 0.5 : (b - 200) * 50.0;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::InitQt();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Input input(data, size);
    const int which = input.Below(6); // the five operations, then a host-side compare
    const core::Family& family = core::Families[input.Below(int(core::Families.size()))];
    core::OperationOptions options;
    options.fastReceive = input.Flag();
    const uint8_t faultBits = input.Byte();
    fuzz::FuzzLine line;
    fuzz::FuzzLine::Faults& faults = line.faults;
    faults.openFails = (faultBits & 0x07) == 1;
    faults.dsrLow = faultBits & 0x08;
    faults.failingOutput = (faultBits & 0x10) ? input.Below(600) : -1;
    faults.failingInput = (faultBits & 0x20) ? input.Below(600) : -1;
    const double stopAtMs = (faultBits & 0xC0) ? input.Below(2000) * 20.0 : -1;
    const bool abort = (faultBits & 0xC0) == 0xC0;
    const QByteArray image(input.Below(family.blockSize + 2), char(input.Byte()));
    const bool acceptSize = input.Flag();
    const auto target = static_cast<Target>(input.Below(4));
    const bool replaceShort = input.Flag();
    const QByteArray old("an image file from before");
    QFile::remove(Observer::ReadPath());
    if (target == Target::OldFile) {
        fuzz::WriteFile(Observer::ReadPath(), old);
    }

    std::vector<fuzz::FuzzLine::Arrival>& arrivals = line.arrivals;
    double at = 0;
    while (!input.Empty()) {
        at += GapMs(input.Byte());
        arrivals.push_back({at, char(input.Byte())});
    }

    FakeClock clock;
    core::PortControl port(
        [&](const QString&) { return std::make_unique<fuzz::FuzzTransport>(clock, line); });
    port.SetDevice(QStringLiteral("fuzz"));
    core::Operations operations(port, clock);
    if (stopAtMs >= 0) {
        clock.Schedule(stopAtMs, [&operations, abort] {
            abort ? operations.Stop().RequestAbort() : operations.Stop().RequestCancel();
        });
    }
    Observer observer(image, acceptSize, target, replaceShort);
    static constexpr core::Operation ops[] = {core::Operation::Read, core::Operation::Program,
                                              core::Operation::Verify, core::Operation::ClearWpo,
                                              core::Operation::BulkErase};
    const core::Outcome outcome = which < 5
                                      ? operations.Run(ops[which], family, observer, options)
                                      : operations.VerifyAgainst(family, image, observer, options);

    fuzz::Check(!port.PortOpen(), "the port is closed on every way out");
    fuzz::Check(!operations.Running(), "the operation is over");
    fuzz::Check(outcome.received >= 0 && outcome.received <= family.blockSize,
                "at most a block is taken or sent");
    fuzz::Check(outcome.data.size() <= family.blockSize, "at most a block is kept");
    // The slowest legal run: a 512-byte READ at 75 ms a byte after its waits, or a
    // PROGRAM's settle steps; a stream of late bytes must not keep an operation going.
    fuzz::Check(outcome.elapsedMs < 60000, "an operation ends within a minute");
    if (outcome.status == core::Status::Done && which != 1 && which < 3) {
        fuzz::Check(outcome.received == family.blockSize, "a finished READ or VERIFY has a block");
    }
    if (which == 0 && outcome.status == core::Status::Done) {
        fuzz::Check(outcome.data.size() == family.blockSize, "a finished READ keeps the block");
    }
    // What READ keeps is the start of what came off the line once it asked for data: no byte
    // invented, lost or reordered, and nothing that came before "c".
    if (which == 0 &&
        (outcome.status == core::Status::Done || outcome.status == core::Status::ShortAnswer)) {
        fuzz::Check(line.read.mid(line.readBeforeData).startsWith(outcome.data),
                    "READ keeps the bytes it took");
    }
    // A READ into a file leaves it whole: what came, when it was written, else as it was.
    if (which == 0 && (target == Target::NewFile || target == Target::OldFile)) {
        QFile file(Observer::ReadPath());
        const bool exists = file.open(QIODevice::ReadOnly);
        if (outcome.fileWritten) {
            fuzz::Check(exists && file.readAll() == outcome.data, "the file holds what came");
        } else if (target == Target::OldFile) {
            fuzz::Check(exists && file.readAll() == old, "an old file stays as it was");
        } else {
            fuzz::Check(!exists, "no file is left behind");
        }
    }
    return 0;
}
