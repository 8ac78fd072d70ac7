// The five operations on a port whose adapter answers with the fuzzer's bytes at the
// fuzzer's times, on a virtual clock: slow and fast receive, stops requested at any time,
// a port that fails at its open, a write or a read. Whatever comes, the operation ends
// within its own time bounds, never takes more than a block, and leaves the port closed.
#include "FakeClock.h"
#include "FuzzSupport.h"
#include "core/Operations.h"
#include "core/PortControl.h"
#include "platform/CommErrors.h"
#include "platform/RuntimeError.h"

#include <QFile>

namespace {

using platform::RuntimeError;
namespace CommError = platform::CommError;

// A line that brings bytes at the times chosen (counted from each opening) and fails where
// told: at the open, at the write or read numbered from 0 (-1 for none). It outlives the
// sessions a port control opens on it.
struct Line {
    std::vector<std::pair<double, char>> arrivals; // ms after the open, byte
    bool openFails = false, dsrLow = false;
    int failingWrite = -1, failingRead = -1;
    int writes = 0, reads = 0;
    QByteArray read;              // bytes the line brought, in order
    qsizetype readBeforeData = 0; // of them, those before the last "c" was written
};

class Transport : public platform::ByteTransport {
public:
    Transport(FakeClock& clock, Line& line) : clock_(clock), line_(line) {}

    int Open(const platform::LineSettings&) override {
        if (line_.openFails) {
            throw RuntimeError(CommError::PortInUse, QStringLiteral("held by another process"));
        }
        openedMs_ = clock_.NowMs();
        return 0;
    }
    void Close() override {}
    void Write(const QByteArray& bytes) override {
        if (line_.writes++ == line_.failingWrite) {
            throw RuntimeError(CommError::DeviceBusy, QStringLiteral("the device took no byte"));
        }
        if (bytes == "c") {
            line_.readBeforeData = line_.read.size();
        }
    }
    QByteArray Read(int) override {
        if (line_.reads++ == line_.failingRead) {
            throw RuntimeError(CommError::ReadFailed, QStringLiteral("the adapter went away"));
        }
        const qsizetype from = line_.read.size();
        for (; next_ < line_.arrivals.size() &&
               line_.arrivals[next_].first <= clock_.NowMs() - openedMs_;
             ++next_) {
            line_.read += line_.arrivals[next_].second;
        }
        return line_.read.mid(from);
    }
    bool Dsr() const override { return !line_.dsrLow; }
    bool StillThere(QString*) const override { return true; }

private:
    FakeClock& clock_;
    Line& line_;
    double openedMs_ = 0;
    size_t next_ = 0;
};

QString ReadPath() {
    return fuzz::ScratchPath(QStringLiteral("read.bin"));
}

// Where READ puts the block: nowhere (cancelled), in memory, a new file, or over a file.
enum class Target { None, Memory, NewFile, OldFile };

// PROGRAM's image and the answers to the questions an operation asks.
struct Observer : core::OperationObserver {
    void OnProgress(const core::Progress& progress) override {
        fuzz::Check(progress.done >= 0 && progress.done <= progress.total && progress.leftMs >= 0,
                    "progress stays within its total, and time left is never negative");
    }
    std::optional<QString> ChooseReadTarget() override {
        if (target == Target::None) {
            return std::nullopt;
        }
        return target == Target::Memory ? QString() : ReadPath();
    }
    std::optional<core::ImageSource> ChooseProgramSource() override {
        return core::ImageSource{QStringLiteral("image.bin"), image};
    }
    bool AcceptImageSize(const QString&, qint64, int) override { return accept; }
    bool ReplaceWithShortRead(const QString&, int, int) override { return replaceShort; }

    QByteArray image;
    bool accept = false, replaceShort = false;
    Target target = Target::None;
};

// A gap before the next byte: mostly a few milliseconds, now and then seconds.
double GapMs(uint8_t b) {
    return b < 200 ? b * 0.5 : (b - 200) * 50.0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Input input(data, size);
    const int which = input.Below(6); // the five operations, then a host-side compare
    const core::Family& family = core::Families[input.Below(int(core::Families.size()))];
    core::OperationOptions options;
    options.fastReceive = input.Flag();
    const uint8_t faultBits = input.Byte();
    Line line;
    line.openFails = (faultBits & 0x07) == 1;
    line.dsrLow = faultBits & 0x08;
    line.failingWrite = (faultBits & 0x10) ? input.Below(600) : -1;
    line.failingRead = (faultBits & 0x20) ? input.Below(600) : -1;
    const double stopAtMs = (faultBits & 0xC0) ? input.Below(2000) * 20.0 : -1;
    const bool abort = (faultBits & 0xC0) == 0xC0;
    Observer observer;
    observer.image = QByteArray(input.Below(family.blockSize + 2), char(input.Byte()));
    observer.accept = input.Flag();
    const Target target = observer.target = static_cast<Target>(input.Below(4));
    observer.replaceShort = input.Flag();
    const QByteArray old("an image file from before");
    QFile::remove(ReadPath());
    if (target == Target::OldFile) {
        fuzz::WriteFile(ReadPath(), old);
    }
    for (double at = 0; !input.Empty();) {
        at += GapMs(input.Byte());
        line.arrivals.push_back({at, char(input.Byte())});
    }

    FakeClock clock;
    core::PortControl port(
        [&](const QString&) { return std::make_unique<Transport>(clock, line); });
    port.SetDevice(QStringLiteral("fuzz"));
    core::Operations operations(port, clock);
    if (stopAtMs >= 0) {
        clock.Schedule(stopAtMs, [&operations, abort] {
            abort ? operations.Stop().RequestAbort() : operations.Stop().RequestCancel();
        });
    }
    static constexpr core::Operation ops[] = {core::Operation::Read, core::Operation::Program,
                                              core::Operation::Verify, core::Operation::ClearWpo,
                                              core::Operation::BulkErase};
    const core::Outcome outcome =
        which < 5 ? operations.Run(ops[which], family, observer, options)
                  : operations.VerifyAgainst(family, observer.image, observer, options);

    fuzz::Check(!port.PortOpen(), "the port is closed on every way out");
    fuzz::Check(!operations.Running(), "the operation is over");
    fuzz::Check(outcome.received >= 0 && outcome.received <= family.blockSize,
                "at most a block is taken or sent");
    fuzz::Check(outcome.data.size() <= family.blockSize, "at most a block is kept");
    // The slowest legal run: a 512-byte READ at 75 ms a byte after its waits, or a
    // PROGRAM's settle steps; a stream of late bytes must not keep an operation going.
    fuzz::Check(outcome.elapsedMs < 60000, "an operation ends within a minute");
    if (outcome.status == core::Status::Done && (which == 0 || which == 2)) {
        fuzz::Check(outcome.received == family.blockSize &&
                        (which == 2 || outcome.data.size() == family.blockSize),
                    "a finished READ or VERIFY has a block, and READ keeps it");
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
        QFile file(ReadPath());
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
