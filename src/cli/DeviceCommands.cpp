#include "Commands.h"

#include "ExitCode.h"
#include "Interrupts.h"
#include "PortSession.h"
#include "ProgressReport.h"
#include "ResultJson.h"
#include "core/Checksums.h"
#include "core/FileReplace.h"
#include "core/ImageFile.h"
#include "core/OperationWords.h"
#include "core/Operations.h"
#include "core/OutcomeWords.h"
#include "core/ProgramSettings.h"
#include "formats/ImageRecords.h"
#include "platform/Clock.h"
#include "production/ProductionRun.h"
#include "production/ProductionSettings.h"

#include <QFile>
#include <QJsonDocument>
#include <QTextStream>
#include <cerrno>
#include <functional>
#include <poll.h>
#include <unistd.h>

namespace cli {

namespace {

using core::Operation;
using core::Status;
namespace Words = core::OperationWords;

// A line from fd, read a byte at a time so that nothing after it is taken from a later reader,
// in short waits so that a stop (Ctrl+C) ends the wait for the person at the bench; nothing at
// the end of the input or on a stop.
std::optional<QString> ReadLine(int fd, const std::function<bool()>& stopped) {
    QByteArray line;
    for (;;) {
        pollfd ready{fd, POLLIN, 0};
        const int n = ::poll(&ready, 1, 100);
        if (stopped() || (n < 0 && errno != EINTR)) {
            return std::nullopt;
        }
        if (n <= 0) {
            continue;
        }
        char c = 0;
        const ssize_t got = ::read(fd, &c, 1);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return line.isEmpty() ? std::nullopt : std::optional(QString::fromLocal8Bit(line));
        }
        if (c == '\n') {
            return QString::fromLocal8Bit(line);
        }
        line += c;
    }
}

// Up to limit bytes of in, to its end; nothing, with why, when it holds more or fails.
std::optional<QByteArray> ReadAllOf(QIODevice& in, qint64 limit, QString* why) {
    QByteArray all;
    char part[16384];
    for (;;) {
        const qint64 got = in.read(part, sizeof part);
        if (got < 0) {
            *why = in.errorString();
            return std::nullopt;
        }
        if (got == 0) {
            return all; // the end of a pipe or a file
        }
        all.append(part, got);
        if (all.size() > limit) {
            *why = QStringLiteral("it holds more than %1 bytes, more than any image").arg(limit);
            return std::nullopt;
        }
    }
}

// The services with failures and results told to err instead.
ToolServices TellingTo(ToolServices& s, QTextStream& err) {
    return {s.clock,         s.settings, s.out,  err,  s.simulated, s.interrupts,
            s.errIsTerminal, s.ports,    s.inFd, s.in, s.imageIn,   s.imageOut};
}

// One device command, from its files and port to its exit code.
class Job {
public:
    Job(const Request& request, ToolServices& services)
        : r_(request), s_(services), prose_(&proseText_),
          told_(r_.json ? TellingTo(services, prose_) : services), session_(told_),
          report_(services.err, services.errIsTerminal, request.progress, services.interrupts),
          startMs_(services.clock.NowMs()) {
        options_.fastReceive = r_.fast || core::ProgramSettings::Option(
                                              s_.settings, core::ProgramSettings::FastReceive);
        context_.family = r_.family;
        context_.device = r_.deviceName;
        context_.file = Shown();
        context_.format = r_.format.value_or(core::ImageFormatOfPath(r_.file));
        context_.notReadBack = QStringLiteral("--no-verify");
    }

    ~Job() {
        if (s_.interrupts) {
            s_.interrupts->Watch(nullptr);
        }
    }

    int Run();
    // The run as one JSON object on stdout, once it ended with code.
    void WriteResult(int code);

private:
    bool Stdio() const { return r_.file == QLatin1String(StdioName); }
    // The file as the words name it: stdin or stdout for -.
    QString Shown() const {
        return !Stdio()                      ? r_.file
               : r_.command == Command::Read ? QStringLiteral("stdout")
                                             : QStringLiteral("stdin");
    }
    // The image a PROGRAM or a compare takes from -i FILE or stdin.
    core::LoadedImage LoadImage();
    int Read();
    int Program();
    int VerifyOnAdapter();
    int ReadBack();
    int ReadBackEnded(const core::Outcome& outcome, bool afterProgram);
    int BlankCheck(bool afterErase);
    int ChipReadFailed(const core::Outcome& outcome);
    // A PROGRAM's result line with what its patches did: "...; kept 16 bytes at 1E10h from
    // the chip; crc16 3A5Fh at 1FFEh over 1E00h-1FFDh".
    QString WithPatches(const QString& line) const {
        return run_.Patched().isEmpty()
                   ? line
                   : line + QStringLiteral("; ") + run_.Patched().join(QStringLiteral("; "));
    }
    int EraseAndCheck();
    int OneCommand(Operation operation);
    int Ended(const core::Outcome& outcome, const QString& note);
    int ImageFailure(const core::LoadedImage& image);
    int OpenJournal();
    int TakeSerial();
    int Record(int code);
    int Session();
    bool NextChipInserted();
    // The operation's outcome, kept for the journal.
    core::Outcome Keep(const core::Outcome& outcome) {
        last_ = outcome;
        return outcome;
    }

    bool StopAsked() const { return s_.interrupts && s_.interrupts->StopAsked(); }
    QString Address(int offset) const {
        return core::HexAddress(quint32(r_.family->eepromFirst + offset));
    }

    // A failure: one line on stderr (in the JSON result's message instead).
    int Fail(const QString& line, int code) {
        report_.Finish();
        told_.err << "tms370: " << line << '\n';
        told_.err.flush();
        return code;
    }
    // A result: on stdout, or stderr when stdout carries the image (or in the JSON result).
    int Say(const QString& line, int code = Success) {
        report_.Finish();
        QTextStream& stream =
            r_.json || (Stdio() && r_.command == Command::Read) ? told_.err : s_.out;
        stream << line << '\n';
        stream.flush();
        return code;
    }

    const Request& r_;
    ToolServices& s_;
    QString proseText_; // what the JSON result's message says
    QTextStream prose_;
    ToolServices told_; // s_, or with failures and results told to prose_
    PortSession session_;
    ProgressReport report_;
    core::OperationOptions options_;
    std::unique_ptr<core::Operations> operations_;
    core::ImageTarget target_;
    QByteArray image_;
    core::OutcomeContext context_;

    production::ProductionRun run_{s_.clock}; // the journal, its number and its row
    std::optional<core::PortChoice> choice_;
    std::optional<core::Outcome> last_;
    int givenBack_ = 0; // numbers this run gave back to their series
    double startMs_ = 0;
};

int Job::Run() {
    const bool hostCompare = r_.command == Command::Verify && (!r_.file.isEmpty() || r_.blankCheck);
    if (!hostCompare && r_.family->Refuses(*OperationOf(r_.command))) {
        core::Outcome refused;
        refused.operation = *OperationOf(r_.command);
        refused.status = Status::Refused;
        Keep(refused);
        return Fail(Words::NotSupported, UsageError);
    }
    // The files first: nothing goes to the adapter for a job whose file cannot be used.
    if (r_.command == Command::Read && Stdio()) {
        // Written to stdout only once all of it arrived: a failed read leaves stdout empty.
        if (!s_.imageOut && context_.format == core::ImageFormat::Raw && ::isatty(STDOUT_FILENO)) {
            return Fail(QStringLiteral("stdout is a terminal, which raw bytes would garble; give "
                                       "-f ihex or -f srec, or send stdout to a file or a pipe"),
                        UsageError);
        }
    } else if (r_.command == Command::Read) {
        const core::ReplaceCheck existing = core::InspectTarget(r_.file);
        context_.fileExisted = existing.exists;
        if (existing.readOnly && !r_.force) {
            return Fail(QStringLiteral("%1 is read-only and was kept as it was; give --force to "
                                       "replace it (it stays read-only)")
                            .arg(r_.file),
                        FileFailed);
        }
        QString why;
        if (!target_.Open(r_.file, &why, r_.force)) {
            return Fail(QStringLiteral("cannot write %1: %2").arg(r_.file, why), FileFailed);
        }
    } else if (!r_.file.isEmpty()) {
        const core::LoadedImage image = LoadImage();
        if (image.fault != core::ImageFault::None) {
            return ImageFailure(image);
        }
        image_ = image.block;
    }
    choice_ = core::ParsePortChoice(r_.port, s_.settings);
    if (!choice_) {
        return Fail(QStringLiteral("unknown port '%1'; give Comm1..Comm8, a device path or sim")
                        .arg(r_.port),
                    UsageError);
    }
    if (const int code = OpenJournal()) {
        return code;
    }
    run_.Begin();
    if (const int code = session_.Open(*choice_, r_.trace)) {
        return Record(code);
    }
    // Once the port is this run's, what it held from a run that died can go back.
    if (const int code = TakeSerial()) {
        return code;
    }
    operations_ = std::make_unique<core::Operations>(session_.Port(), s_.clock);
    if (s_.interrupts) {
        s_.interrupts->Watch(&operations_->Stop());
    }

    int code = Success;
    switch (r_.command) {
    case Command::Read:
        code = Read();
        break;
    case Command::Program:
        if (r_.repeat) {
            return Session();
        }
        code = Program();
        break;
    case Command::Verify:
        code = r_.blankCheck ? BlankCheck(false) : hostCompare ? ReadBack() : VerifyOnAdapter();
        break;
    case Command::Erase:
        code = r_.blankCheck ? EraseAndCheck() : OneCommand(Operation::BulkErase);
        break;
    default:
        code = OneCommand(*OperationOf(r_.command));
        break;
    }
    if (!session_.TraceComplete() && code == Success) {
        code = FileFailed;
    }
    return Record(code);
}

int Job::OpenJournal() {
    const QString store =
        r_.journal.isEmpty()
            ? s_.settings.GetSetting(QStringLiteral("Production"), QStringLiteral("Journal"))
            : r_.journal;
    if (store.isEmpty()) {
        if (r_.serial) {
            return Fail(QStringLiteral("--serial needs a journal to keep its series: give "
                                       "--journal STORE"),
                        UsageError);
        }
        return Success;
    }
    const int timeout = r_.storeTimeout > 0
                            ? r_.storeTimeout
                            : core::ProductionSettings::Load(s_.settings).storeTimeoutSeconds;
    if (const auto refusal = run_.Open(store, choice_->device, timeout)) {
        return Fail(QStringLiteral("journal: %1").arg(refusal->why),
                    refusal->kind == production::ProductionRun::Refusal::Kind::Usage ? UsageError
                                                                                     : StoreFailed);
    }
    return Success;
}

int Job::TakeSerial() {
    if (!r_.serial) {
        return Success;
    }
    if (const auto refusal =
            run_.TakeNumber(r_.series, choice_->device, r_.leaseSeconds, *r_.serial, *r_.family)) {
        const bool usage = refusal->kind == production::ProductionRun::Refusal::Kind::Usage ||
                           refusal->kind == production::ProductionRun::Refusal::Kind::Outside;
        return Fail(QStringLiteral("journal: %1").arg(refusal->why),
                    usage ? UsageError : StoreFailed);
    }
    return Success;
}

// The run's row and the fate of its number. A store that fails here (or a number found in two
// chips) leaves the chip's result as it was told and makes the run exit 6 when the chip itself
// succeeded; the journal's words say where the result was kept, or that a person must settle
// the number.
int Job::Record(int code) {
    if (operations_) {
        // A signal from now on also ends a wait for the journal's server.
        run_.WatchStop(&operations_->Stop());
    }
    const production::ProductionRun::Recorded recorded =
        run_.Record(*OperationOf(r_.command), last_ ? &*last_ : nullptr,
                    {r_.port, choice_ ? choice_->device : QString(), r_.deviceName,
                     Stdio() ? QString() : r_.file, r_.recipe, r_.recipeSha256});
    if (recorded.givenBack) {
        ++givenBack_;
        s_.err << "tms370: serial " << run_.Held()->number << " given back to series '"
               << run_.Held()->series << "'\n";
        s_.err.flush();
    }
    if (!recorded.written) {
        told_.err << "tms370: journal: " << recorded.why << '\n';
        told_.err.flush();
        return code == Success ? StoreFailed : code;
    }
    return code;
}

// program --repeat: chip after chip on the port and the journal opened once, a line on stdin
// between them. Each chip's number is taken once it is in (the first one's by Run) and settled
// before the prompt, so a session ended at the prompt holds nothing. The exit code is the first
// failure's.
int Job::Session() {
    run_.KeepOpen();
    int chips = 0, verified = 0, same = 0, failed = 0;
    std::optional<qint64> low, high;
    int first = Success;
    for (;;) {
        int code = Program();
        if (!session_.TraceComplete() && code == Success) {
            code = FileFailed;
        }
        code = Record(code);
        ++chips;
        if (code != Success) {
            ++failed;
            first = first == Success ? code : first;
        } else if (run_.Same()) {
            ++same;
        } else {
            ++verified;
            if (run_.Held()) {
                low = std::min(low.value_or(run_.Held()->number), run_.Held()->number);
                high = std::max(high.value_or(run_.Held()->number), run_.Held()->number);
            }
        }
        if (StopAsked() || !NextChipInserted()) {
            break;
        }
        run_.NextChip();
        last_.reset();
        if (const int refused = TakeSerial()) {
            first = first == Success ? refused : first;
            break;
        }
    }
    run_.Close();
    QString line =
        QStringLiteral("Session: %1 %2, %3 %4")
            .arg(chips)
            .arg(chips == 1 ? QStringLiteral("chip") : QStringLiteral("chips"))
            .arg(verified)
            .arg(r_.noVerify ? QStringLiteral("programmed") : QStringLiteral("verified"));
    if (low) {
        line += *low == *high ? QStringLiteral(" (serial %1)").arg(*low)
                              : QStringLiteral(" (serials %1 to %2)").arg(*low).arg(*high);
    }
    line += QStringLiteral(", %1 same, %2 failed").arg(same).arg(failed);
    if (r_.serial) {
        line += QStringLiteral(", %1 %2 given back")
                    .arg(givenBack_)
                    .arg(givenBack_ == 1 ? QStringLiteral("number") : QStringLiteral("numbers"));
    }
    Say(line);
    return StopAsked() ? s_.interrupts->ExitCode() : first;
}

// Between chips of a session: whether the user put the next one in (a line that is not q) or
// ended the session (q, the end of the input, or Ctrl+C, which leaves the session's summary
// to be told and the port to be let go as at any other end).
bool Job::NextChipInserted() {
    if (s_.inFd < 0 && !s_.in) {
        return false;
    }
    report_.Finish();
    s_.err << "Insert the next chip and press Enter (q and Enter to stop)\n";
    s_.err.flush();
    std::optional<QString> line;
    if (s_.inFd >= 0) {
        line = ReadLine(s_.inFd, [this] { return StopAsked(); });
    } else if (const QString text = s_.in->readLine(); !text.isNull()) {
        line = text;
    }
    return line && line->trimmed().compare(QLatin1String("q"), Qt::CaseInsensitive) != 0;
}

core::LoadedImage Job::LoadImage() {
    if (!Stdio()) {
        return core::LoadImageFile(r_.file, r_.format, *r_.family, r_.pad);
    }
    QFile stdinFile;
    QIODevice* in = s_.imageIn;
    core::LoadedImage image;
    if (!in && ::isatty(STDIN_FILENO)) {
        image.fault = core::ImageFault::Unreadable;
        image.message =
            QStringLiteral("it is a terminal; send the image in through a pipe or < FILE");
        return image;
    }
    if (!in) {
        stdinFile.open(STDIN_FILENO, QIODevice::ReadOnly | QIODevice::Unbuffered);
        in = &stdinFile;
    }
    const std::optional<QByteArray> content =
        ReadAllOf(*in, core::MaxTextImageSize, &image.message);
    if (!content) {
        image.fault = core::ImageFault::Unreadable;
        return image;
    }
    // No name to go by: what the content plainly is, unless -f says.
    context_.format =
        r_.format.value_or(core::RecordsFormatOf(*content).value_or(core::ImageFormat::Raw));
    return core::DecodeImage(*content, context_.format, *r_.family, r_.pad);
}

int Job::ImageFailure(const core::LoadedImage& image) {
    QString line = QStringLiteral("%1: %2").arg(Shown(), image.message);
    switch (image.fault) {
    case core::ImageFault::Unreadable:
        line = QStringLiteral("cannot read %1: %2").arg(Shown(), image.message);
        break;
    case core::ImageFault::RawSize:
        line += image.size < r_.family->blockSize
                    ? QStringLiteral(". Give --pad to fill it up with FFh, or name another file.")
                    : QStringLiteral(". A longer raw image is never cut: name the block's file.");
        break;
    case core::ImageFault::LooksLikeRecords:
        line += QStringLiteral(". Name the format: -f %1 to decode the records, -f raw to "
                               "send the file's bytes as they are.")
                    .arg(core::ImageFormatName(image.detected));
        break;
    default:
        break;
    }
    return Fail(line, FileFailed);
}

int Job::Read() {
    const core::Outcome outcome =
        Keep(operations_->Run(Operation::Read, *r_.family, report_, options_));
    const core::OutcomeWording words = core::Describe(outcome, context_);
    switch (outcome.status) {
    case Status::Done: {
        QString why;
        const QByteArray content = core::EncodeImage(outcome.data, context_.format, *r_.family,
                                                     r_.deviceName, r_.recordBytes);
        if (Stdio()) {
            QFile stdoutFile;
            QIODevice* out = s_.imageOut;
            if (!out) {
                stdoutFile.open(STDOUT_FILENO, QIODevice::WriteOnly | QIODevice::Unbuffered);
                out = &stdoutFile;
            }
            if (out->write(content) != content.size()) {
                return Fail(QStringLiteral("cannot write stdout: %1").arg(out->errorString()),
                            FileFailed);
            }
        } else if (!target_.Commit(content, &why)) {
            return Fail(QStringLiteral("cannot write %1: %2").arg(r_.file, why), FileFailed);
        }
        return Say(words.summary);
    }
    case Status::NoAnswer:
        return Fail(QStringLiteral("%1. %2").arg(words.summary, Words::CheckPort), AdapterSilent);
    case Status::ShortAnswer:
        return Fail(
            words.summary +
                QStringLiteral(". Check the adapter and its power supply, then read again."),
            AdapterSilent);
    default:
        return Ended(outcome, words.fileState);
    }
}

int Job::Program() {
    report_.SetSource(core::ImageSource{r_.file, image_});
    run_.SetPatches(r_.patches);
    const auto goOn = [this] { return !StopAsked(); };
    const production::ProductionRun::Programmed programmed =
        run_.Program(*operations_, *r_.family, report_, options_, !r_.noVerify, goOn, goOn);
    Keep(programmed.program);
    if (programmed.chipRead && programmed.chipRead->status != Status::Done) {
        return ChipReadFailed(*programmed.chipRead);
    }
    if (programmed.program.status != Status::Done) {
        return Ended(programmed.program, QString());
    }
    if (programmed.same) {
        return Say(WithPatches(run_.SameLine(r_.deviceName, r_.file)));
    }
    if (r_.noVerify) {
        return Say(WithPatches(core::Describe(programmed.program, context_).summary));
    }
    if (!programmed.readBack) {
        return Fail(QStringLiteral("the chip was programmed, but the read-back was skipped: it "
                                   "is not verified"),
                    Interrupted);
    }
    return ReadBackEnded(Keep(*programmed.readBack), true);
}

int Job::ReadBack() {
    return ReadBackEnded(Keep(operations_->VerifyAgainst(*r_.family, image_, report_, options_)),
                         false);
}

int Job::ReadBackEnded(const core::Outcome& outcome, bool afterProgram) {
    context_.afterProgram = afterProgram;
    const core::OutcomeWording words = core::Describe(outcome, context_);
    const QString unverified =
        afterProgram ? QStringLiteral(" The chip was programmed but is not verified.") : QString();
    switch (outcome.status) {
    case Status::Done:
        if (afterProgram && run_.Held()) {
            return Say(
                WithPatches(QStringLiteral("Programmed and verified %1, serial %2 (%3), %4")
                                .arg(r_.deviceName)
                                .arg(run_.Held()->number)
                                .arg(run_.WrittenNumber(), core::ChecksumText(run_.Sent()))));
        }
        return Say(afterProgram ? WithPatches(words.summary) : words.summary);
    case Status::Mismatch:
        if (r_.json) {
            return Say(words.summary, VerifyMismatch); // the differences are listed apart
        }
        report_.Finish();
        s_.out << words.headline << '\n';
        for (const QString& line : words.differences) {
            s_.out << "  " << line << '\n';
        }
        s_.out << words.summary << '\n';
        s_.out.flush();
        return VerifyMismatch;
    case Status::NoAnswer:
        return Fail(QStringLiteral("read-back: no answer from the adapter. %1%2")
                        .arg(Words::CheckPort, unverified),
                    AdapterSilent);
    case Status::ShortAnswer:
        return Fail(Words::ReadBackIncomplete.arg(outcome.received).arg(outcome.blockSize) +
                        unverified,
                    AdapterSilent);
    case Status::Cancelled:
    case Status::Aborted:
        return Fail(afterProgram ? QStringLiteral("the read-back was cancelled; the chip was "
                                                  "programmed but is not verified.")
                                 : QStringLiteral("VERIFY cancelled."),
                    Interrupted);
    default:
        return Ended(outcome, afterProgram ? QStringLiteral("the chip was programmed but is not "
                                                            "verified")
                                           : QString());
    }
}

// The chip could not be read first (for the bytes it keeps, or to compare): nothing was sent
// to it.
int Job::ChipReadFailed(const core::Outcome& outcome) {
    const QString unchanged = QStringLiteral("; nothing was written to the chip");
    const QString reading = r_.patches.keep.isEmpty()
                                ? QStringLiteral("reading the chip to compare")
                                : QStringLiteral("reading the chip's kept bytes");
    switch (outcome.status) {
    case Status::NoAnswer:
        return Fail(QStringLiteral("%1: no answer from the adapter%2. %3")
                        .arg(reading, unchanged, Words::CheckPort),
                    AdapterSilent);
    case Status::ShortAnswer:
        return Fail(QStringLiteral("%1: %2 of %3 bytes came%4.")
                        .arg(reading)
                        .arg(outcome.received)
                        .arg(outcome.blockSize)
                        .arg(unchanged),
                    AdapterSilent);
    default:
        return Ended(outcome, QStringLiteral("nothing was written to the chip"));
    }
}

int Job::EraseAndCheck() {
    const core::Outcome erased =
        Keep(operations_->Run(Operation::BulkErase, *r_.family, report_, options_));
    if (erased.status != Status::Done) {
        return Ended(erased, QString());
    }
    if (StopAsked()) {
        return Fail(QStringLiteral("BULK ERASE was sent, but the read-back was skipped: the chip "
                                   "is not known to be blank."),
                    Interrupted);
    }
    return BlankCheck(true);
}

// The chip read back here against a block of FFh, after BULK ERASE (which the adapter does not
// answer) or on its own.
int Job::BlankCheck(bool afterErase) {
    const core::Outcome outcome = Keep(operations_->VerifyAgainst(
        *r_.family, QByteArray(r_.family->blockSize, char(0xFF)), report_, options_));
    if (outcome.status == Status::Done) {
        return Say(core::BlankCheckText(outcome, *r_.family, afterErase));
    }
    if (outcome.status != Status::Mismatch || outcome.differences.isEmpty()) {
        return ReadBackEnded(outcome, false);
    }
    return Say(core::BlankCheckText(outcome, *r_.family, afterErase), VerifyMismatch);
}

int Job::VerifyOnAdapter() {
    const core::Outcome outcome =
        Keep(operations_->Run(Operation::Verify, *r_.family, report_, options_));
    switch (outcome.status) {
    case Status::Done:
        return Say(Words::VerifyOK);
    case Status::Mismatch:
        return Say(QStringLiteral("%1: the adapter marks the byte at %2 as differing.")
                       .arg(Words::VerifyError, Address(outcome.mismatchAt)),
                   VerifyMismatch);
    case Status::NoAnswer:
        return Fail(QStringLiteral("VERIFY: no answer from the adapter. %1").arg(Words::CheckPort),
                    AdapterSilent);
    case Status::ShortAnswer:
        return Fail(Words::VerifyIncomplete.arg(outcome.received).arg(outcome.blockSize),
                    AdapterSilent);
    default:
        return Ended(outcome, QString());
    }
}

int Job::OneCommand(Operation operation) {
    const core::Outcome outcome = Keep(operations_->Run(operation, *r_.family, report_, options_));
    if (outcome.status == Status::Done) {
        // The adapter answers neither command: all that is known is that it was told.
        return Say(core::Describe(outcome, context_).summary);
    }
    return Ended(outcome, QString());
}

// The ways every operation can end badly: stopped, the port failing, the file failing.
int Job::Ended(const core::Outcome& outcome, const QString& note) {
    const QString name = core::OperationName(outcome.operation);
    const QString tail = note.isEmpty() ? QStringLiteral(".") : QStringLiteral("; %1.").arg(note);
    const bool changesChip = core::ChangesChip(outcome.operation);
    switch (outcome.status) {
    case Status::Cancelled:
    case Status::Aborted:
        if (outcome.chipWritten) {
            return Fail(QStringLiteral("%1 stopped; the chip's contents are now unknown: erase "
                                       "it and program it again.")
                            .arg(name),
                        Interrupted);
        }
        return Fail(QStringLiteral("%1 cancelled%2")
                        .arg(name)
                        .arg(changesChip ? QStringLiteral("; the chip was not changed.") : tail),
                    Interrupted);
    case Status::PortError: {
        QString line = PortFailureText(session_.Label(), outcome.errorNumber, outcome.message);
        if (outcome.chipWritten) {
            line += QStringLiteral("\ntms370: ") + Words::PartlyWritten;
        } else if (!note.isEmpty()) {
            line += QStringLiteral("\ntms370: %1.").arg(note);
        }
        report_.Finish();
        told_.err << line << '\n';
        told_.err.flush();
        return PortFailed;
    }
    case Status::FileError:
        return Fail(QStringLiteral("cannot %1 %2: %3")
                        .arg(outcome.writingFile ? QStringLiteral("write") : QStringLiteral("read"),
                             outcome.path, outcome.message),
                    FileFailed);
    case Status::Refused:
        return Fail(Words::NotSupported, UsageError);
    default:
        return Fail(QStringLiteral("%1 ended unexpectedly%2").arg(name, tail), PortFailed);
    }
}

} // namespace

void Job::WriteResult(int code) {
    ResultFacts facts;
    facts.operation = core::OperationName(*OperationOf(r_.command));
    facts.port = r_.port;
    facts.device = choice_ ? choice_->device : QString();
    facts.chip = r_.deviceName;
    facts.exitCode = code;
    facts.file = r_.file;
    facts.format = context_.format;
    facts.firstAddress = quint32(r_.family->eepromFirst);
    facts.durationMs = qint64(s_.clock.NowMs() - startMs_);
    const bool signalled = code > 128;
    facts.result = run_.Same()           ? QStringLiteral("same")
                   : signalled || !last_ ? ResultWordOf(code)
                                         : core::JournalResult(last_->status);
    if (run_.Same() || run_.Verified()) {
        facts.block = run_.Sent();
    } else if (last_ && (last_->status == Status::Done || last_->status == Status::Mismatch) &&
               last_->data.size() == last_->blockSize && last_->blockSize > 0) {
        facts.block = last_->data; // what the chip holds, or (PROGRAM) what was sent to it
    }
    facts.bytes = last_ ? last_->received : 0;
    facts.serial = run_.Same()   ? run_.FoundNumber()
                   : run_.Held() ? std::optional(run_.Held()->number)
                                 : std::nullopt;
    if (last_ && last_->status == Status::Mismatch) {
        if (last_->data.isEmpty()) {
            facts.markedAt = last_->mismatchAt;
            facts.differencesTotal = 1;
        } else {
            const QByteArray expected = r_.command == Command::Program ? run_.Sent()
                                        : r_.blankCheck
                                            ? QByteArray(r_.family->blockSize, char(0xFF))
                                            : image_;
            core::Outcome compared;
            core::CompareBlocks(expected, last_->data, compared, ListedDifferences);
            facts.differences = compared.differences;
            facts.differencesTotal = compared.differenceCount;
        }
    }
    QStringList lines = proseText_.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (QString& line : lines) {
        if (line.startsWith(QLatin1String("tms370: "))) {
            line = line.mid(8);
        }
    }
    facts.message = lines.join(QLatin1Char('\n'));
    s_.out << QJsonDocument(ResultJson(facts)).toJson(QJsonDocument::Indented);
    s_.out.flush();
}

int RunDeviceCommand(const Request& request, ToolServices& services) {
    Job job(request, services);
    int code = job.Run();
    if (code == Interrupted && services.interrupts && services.interrupts->StopAsked()) {
        code = services.interrupts->ExitCode();
    }
    if (request.json) {
        job.WriteResult(code);
    }
    return code;
}

} // namespace cli
