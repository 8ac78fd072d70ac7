#include "Operations.h"

#include "FileErrors.h"
#include "FileReplace.h"
#include "ImageFile.h"
#include "PortControl.h"
#include "platform/Clock.h"
#include "platform/RuntimeError.h"

#include <QSaveFile>
#include <algorithm>
#include <memory>

namespace core {

namespace {

constexpr float ReadSettleMs = 10;
constexpr float ProgramSettleMs = 40;
constexpr float FirstByteWaitMs = 200;
constexpr float OneCommandWaitMs = 500;
constexpr unsigned char MismatchMark = 101;
constexpr char ErasedByte = char(0xFF);
// 10 bits a byte at 9600 baud.
constexpr double LineMsPerByte = 10.0 * 1000.0 / 9600.0;

int SettleSteps(int blockSize) {
    return blockSize == 256 ? 13 : 26;
}

// An image file that could not be used.
struct FileFailure {
    QString path;
    QString reason;
    bool writing;
    bool malformed;
};

// Forwards progress, keeps the block in memory.
class MemoryTarget : public OperationObserver {
public:
    explicit MemoryTarget(OperationObserver& inner) : inner_(inner) {}
    void OnProgress(const Progress& progress) override { inner_.OnProgress(progress); }
    std::optional<QString> ChooseReadTarget() override { return QString(); }

private:
    OperationObserver& inner_;
};

} // namespace

// One operation while it runs.
struct Operations::Run_ {
    Run_(Operation operation_, const Family& family_, OperationObserver& observer_,
         const OperationOptions& options_, AdapterLink link_, platform::Clock& clock_)
        : operation(operation_), family(family_), observer(observer_), options(options_),
          link(link_), clock(clock_) {}

    Operation operation;
    const Family& family;
    OperationObserver& observer;
    OperationOptions options;
    AdapterLink link;
    platform::Clock& clock;
    Outcome outcome;
    double startMs = 0;
    double firstByteMs = -1;
    bool announced = false; // the command letter of READ, PROGRAM or VERIFY is out, "c" not yet
    std::unique_ptr<QSaveFile> target;
    ImageFormat targetFormat = ImageFormat::Raw;

    int N() const { return family.blockSize; }

    double LeftMs(Phase phase, int done) const {
        const int n = N();
        const bool receives = operation == Operation::Read || operation == Operation::Verify;
        const double settle = SettleSteps(n) * AdapterLink::SettleStepMs;
        double perByte = AdapterLink::ReceiveStepMs;
        if (options.fastReceive) {
            perByte = LineMsPerByte;
            if (done > 1 && firstByteMs >= 0) {
                perByte = std::max(perByte, (clock.NowMs() - firstByteMs) / (done - 1));
            }
        }
        const double firstWait = options.fastReceive ? 0 : FirstByteWaitMs;
        switch (phase) {
        case Phase::Opening:
            if (receives) {
                return 2 * AdapterLink::CommandGapMs + ReadSettleMs + firstWait + n * perByte;
            }
            if (operation == Operation::Program) {
                return 2 * AdapterLink::CommandGapMs + ProgramSettleMs +
                       n * AdapterLink::SendGapMs + settle;
            }
            return 2 * AdapterLink::CommandGapMs + OneCommandWaitMs;
        case Phase::WaitingForAdapter:
            return firstWait + n * perByte;
        case Phase::Receiving:
            return (n - done) * perByte;
        case Phase::Sending:
            return (n - done) * AdapterLink::SendGapMs + settle;
        case Phase::Settling:
            return operation == Operation::Program ? settle - done : OneCommandWaitMs - done;
        case Phase::Closing:
            return 0;
        }
        return 0;
    }

    void Report(Phase phase, int done, int total) {
        Progress progress;
        progress.operation = operation;
        progress.phase = phase;
        progress.done = done;
        progress.total = total;
        progress.elapsedMs = clock.NowMs() - startMs;
        progress.leftMs = std::max(0.0, LeftMs(phase, done));
        progress.cancellable = link.Cancellable();
        observer.OnProgress(progress);
    }
    void Report(Phase phase, int done) { Report(phase, done, N()); }

    // The command letter is out: it is abandoned with "e" unless "c" follows.
    void Announce() { announced = true; }

    // Tells the adapter the announced operation is off and closes the port.
    void Abandon() {
        announced = false;
        link.AbandonLink();
    }

    [[noreturn]] void FailFile(const QString& path, const QString& reason, bool writing,
                               bool malformed = false) {
        throw FileFailure{path, reason, writing, malformed};
    }

    // READ's and VERIFY's data phase after "c": the block's bytes (or marks) as the mode
    // takes them, then the port closed. Returns how many came.
    int Receive(double cSentMs, const AdapterLink::ByteHandler& onByte) {
        int received;
        if (options.fastReceive) {
            received = link.ReceiveArriving(N(), cSentMs, onByte);
        } else {
            link.Wait(FirstByteWaitMs);
            received = link.ReceiveBlock(N(), onByte);
        }
        Report(Phase::Closing, received);
        link.CloseLink();
        return received;
    }

    // Before a chip-changing operation counts as done: the adapter gives no answer to miss,
    // so a port that went away under the waits would otherwise pass for a good run.
    void RequirePortStillThere() {
        QString why;
        if (!link.PortStillThere(&why)) {
            throw platform::RuntimeError(platform::ErrorNumber::SerialSystemError,
                                         QStringLiteral("The port failed during %1: %2.")
                                             .arg(OperationName(operation), why));
        }
    }

    Status ReceivedStatus(int k) const {
        return k == N() ? Status::Done : k == 0 ? Status::NoAnswer : Status::ShortAnswer;
    }
};

Operations::Operations(PortControl& port, platform::Clock& clock) : port_(port), clock_(clock) {}

Operations::~Operations() = default;

Outcome Operations::Run(Operation operation, const Family& family, OperationObserver& observer,
                        const OperationOptions& options) {
    Run_ run{operation, family, observer, options, AdapterLink(port_, clock_, stop_), clock_};
    run.outcome.operation = operation;
    run.outcome.blockSize = family.blockSize;
    if (family.Refuses(operation)) {
        run.outcome.status = Status::Refused;
        return run.outcome;
    }
    stop_.Reset();
    running_ = true;
    run.startMs = clock_.NowMs();
    // Until the chip is told to change, stopping leaves it as it was.
    run.link.SetCancellable(true);
    try {
        run.Report(Phase::Opening, 0);
        switch (operation) {
        case Operation::Read:
            Read(run);
            break;
        case Operation::Program:
            Program(run);
            break;
        case Operation::Verify:
            Verify(run);
            break;
        case Operation::ClearWpo:
            OneCommand(run, 'w');
            break;
        case Operation::BulkErase:
            OneCommand(run, 'b');
            break;
        }
    } catch (const platform::RuntimeError& error) {
        run.outcome.status = Status::PortError;
        run.outcome.errorNumber = error.Number();
        run.outcome.message = error.Description();
    } catch (const FileFailure& failure) {
        run.outcome.status = Status::FileError;
        run.outcome.path = failure.path;
        run.outcome.message = failure.reason;
        run.outcome.writingFile = failure.writing;
        run.outcome.malformedImage = failure.malformed;
    } catch (const OperationStopped& stopped) {
        run.outcome.status =
            stopped.level == StopRequest::Abort ? Status::Aborted : Status::Cancelled;
    }
    if (!run.outcome.Succeeded()) {
        if (run.target) {
            run.target->cancelWriting(); // an existing file keeps its old contents
            run.target.reset();
            run.outcome.fileWritten = false;
        }
        if (port_.PortOpen()) {
            try {
                if (run.announced) {
                    run.Abandon();
                } else {
                    port_.SetPortOpen(false);
                }
            } catch (const platform::RuntimeError&) {
                // The port is failing already; what matters is what failed first.
                try {
                    port_.SetPortOpen(false);
                } catch (const platform::RuntimeError&) {
                }
            }
        }
    }
    run.outcome.elapsedMs = clock_.NowMs() - run.startMs;
    running_ = false;
    return run.outcome;
}

Outcome Operations::VerifyAgainst(const Family& family, const QByteArray& expected,
                                  OperationObserver& observer, const OperationOptions& options) {
    MemoryTarget memory(observer);
    Outcome outcome = Run(Operation::Read, family, memory, options);
    outcome.operation = Operation::Verify;
    if (outcome.Succeeded()) {
        CompareBlocks(expected, outcome.data, outcome);
        if (outcome.differenceCount > 0) {
            outcome.status = Status::Mismatch;
        }
    }
    return outcome;
}

// ---- READ ----

void Operations::Read(Run_& run) {
    Outcome& outcome = run.outcome;
    const int n = run.N();
    run.link.OpenLink(run.family.code, 'r', [&run] { run.Announce(); });
    const std::optional<QString> target = run.observer.ChooseReadTarget();
    if (!target) {
        run.Abandon();
        outcome.status = Status::Cancelled;
        return;
    }
    outcome.path = *target;
    if (!target->isEmpty()) {
        // The block goes to a file beside the old one, which it replaces only once the read
        // is over: a failed read never leaves a half-written image behind.
        QString why;
        if (!IsReplaceableFile(*target, &why)) {
            run.FailFile(*target, why, true);
        }
        const ReplaceCheck check = InspectTarget(*target);
        outcome.targetExisted = check.exists;
        if (check.readOnly && !run.observer.ReplaceReadOnly(*target)) {
            run.Abandon();
            outcome.status = Status::Cancelled;
            return;
        }
        run.targetFormat = run.options.targetFormat.value_or(ImageFormatOfPath(*target));
        // The image is written in one piece once the bytes are in: a write a byte would cost
        // more than taking the byte from the line.
        run.target = std::make_unique<QSaveFile>();
        // Unbuffered, so a full disk fails the write that meets it: a buffered write that
        // fails only at commit is not reported, and commit puts an empty file in place.
        if (!OpenReplacement(*run.target, check, true, &why)) {
            run.FailFile(*target, why, true);
        }
    }
    const double cSent = run.link.StartDataPhase(ReadSettleMs);
    run.announced = false;
    run.Report(Phase::WaitingForAdapter, 0);

    outcome.data.reserve(n);
    const auto onByte = [&run, &outcome](int count, unsigned char byte) {
        if (count == 1) {
            run.firstByteMs = run.clock.NowMs();
        }
        outcome.data.append(static_cast<char>(byte));
        run.Report(Phase::Receiving, count);
        return true;
    };
    outcome.received = run.Receive(cSent, onByte);
    const int k = outcome.received;
    outcome.status = run.ReceivedStatus(k);
    if (!run.target) {
        return;
    }
    // Nothing read keeps the file as it was; a short read replaces a file only when asked.
    bool keep = k == 0;
    if (k > 0 && k < n && outcome.targetExisted) {
        keep = !run.observer.ReplaceWithShortRead(outcome.path, k, n);
    }
    QString why;
    if (!keep) {
        const QByteArray image =
            EncodeImage(outcome.data, run.targetFormat, run.family, run.options.deviceName);
        const auto write = [&] { return run.target->write(image) == image.size(); };
        if (!FileCall(*run.target, write, &why)) {
            run.FailFile(outcome.path, why, true);
        }
    }
    const auto commit = [&] { return run.target->commit(); };
    if (keep) {
        run.target->cancelWriting();
    } else if (!FileCall(*run.target, commit, &why)) {
        run.target.reset();
        run.FailFile(outcome.path, why, true);
    } else {
        outcome.fileWritten = true;
    }
    run.target.reset();
}

// ---- PROGRAM ----

void Operations::Program(Run_& run) {
    Outcome& outcome = run.outcome;
    const int n = run.N();
    run.link.OpenLink(run.family.code, 'p', [&run] { run.Announce(); });
    const std::optional<ImageSource> source = run.observer.ChooseProgramSource();
    if (!source) {
        run.Abandon();
        outcome.status = Status::Cancelled;
        return;
    }
    outcome.path = source->path;
    if (!source->refusal.isEmpty()) {
        run.FailFile(source->path, source->refusal, false, true);
    }
    QByteArray block;
    if (source->block) {
        block = *source->block;
    } else {
        // The whole image is checked before the adapter is told to start.
        QString why;
        const std::optional<QByteArray> bytes = ReadImageFile(source->path, MaxRawImageSize, &why);
        if (!bytes) {
            run.FailFile(source->path, why, false);
        }
        block = *bytes;
    }
    if (block.size() != n && !run.observer.AcceptImageSize(source->path, block.size(), n)) {
        run.Abandon();
        outcome.status = Status::Cancelled;
        return;
    }
    block = block.left(n);
    block.append(n - block.size(), ErasedByte); // a short image ends in erased bytes

    // From "c" on the chip is being written: stopping now would leave it half-written.
    run.link.SetCancellable(false);
    outcome.chipWritten = true;
    run.link.StartDataPhase(ProgramSettleMs);
    run.announced = false;
    run.Report(Phase::Sending, 0);
    for (int i = 0; i < n; ++i) {
        run.link.SendDataByte(static_cast<unsigned char>(block[i]));
        outcome.received = i + 1;
        run.Report(Phase::Sending, i + 1);
    }
    outcome.data = block;
    const int steps = SettleSteps(n);
    const int settleMs = int(steps * AdapterLink::SettleStepMs);
    run.Report(Phase::Settling, 0, settleMs);
    for (int step = 1; step <= steps; ++step) {
        run.link.Wait(AdapterLink::SettleStepMs);
        run.RequirePortStillThere(); // told at once, not after the whole wait
        run.Report(Phase::Settling, int(step * AdapterLink::SettleStepMs), settleMs);
    }
    run.RequirePortStillThere();
    run.Report(Phase::Closing, n);
    run.link.CloseLink();
    outcome.status = Status::Done;
}

// ---- VERIFY ----

void Operations::Verify(Run_& run) {
    Outcome& outcome = run.outcome;
    run.link.OpenLink(run.family.code, 'v', [&run] { run.Announce(); });
    const double cSent = run.link.StartDataPhase(ReadSettleMs);
    run.announced = false;
    run.Report(Phase::WaitingForAdapter, 0);
    const auto onByte = [&run, &outcome](int count, unsigned char byte) {
        if (count == 1) {
            run.firstByteMs = run.clock.NowMs();
        }
        run.Report(Phase::Receiving, count);
        if (byte == MismatchMark) {
            outcome.mismatchAt = count - 1;
            return false;
        }
        return true;
    };
    outcome.received = run.Receive(cSent, onByte);
    outcome.status =
        outcome.mismatchAt >= 0 ? Status::Mismatch : run.ReceivedStatus(outcome.received);
}

// ---- CLEAR WPO and BULK ERASE ----

void Operations::OneCommand(Run_& run, char letter) {
    Outcome& outcome = run.outcome;
    run.link.OpenLink(run.family.code, letter, [&run, &outcome] {
        // The letter alone changes the chip: once it may have gone out, nothing stops it.
        run.link.SetCancellable(false);
        outcome.chipWritten = true;
    });
    const int waitMs = int(OneCommandWaitMs);
    run.Report(Phase::Settling, 0, waitMs);
    run.link.Wait(OneCommandWaitMs);
    run.Report(Phase::Settling, waitMs, waitMs);
    run.RequirePortStillThere();
    run.Report(Phase::Closing, waitMs, waitMs);
    run.link.CloseLink();
    outcome.status = Status::Done;
}

// ---- Compare ----

void CompareBlocks(const QByteArray& expected, const QByteArray& found, Outcome& outcome,
                   int keep) {
    outcome.differenceCount = 0;
    outcome.differences.clear();
    for (qsizetype i = 0; i < expected.size(); ++i) {
        const auto want = static_cast<unsigned char>(expected[i]);
        const bool present = i < found.size();
        const auto got = present ? static_cast<unsigned char>(found[i]) : 0;
        if (!present || want != got) {
            if (outcome.differences.size() < keep) {
                outcome.differences.append({int(i), want, static_cast<unsigned char>(got)});
            }
            ++outcome.differenceCount;
        }
    }
}

} // namespace core
