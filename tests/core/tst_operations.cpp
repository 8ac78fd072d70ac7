// The operations core on the simulated adapter in virtual time, and the files it reads and
// replaces.
#include "../common/TableRows.h"
#include "FailingTransport.h"
#include "FakeClock.h"
#include "FileSystemLimits.h"
#include "ImageFiles.h"
#include "adaptersim/AdapterModel.h"
#include "core/FileErrors.h"
#include "core/ImageFile.h"
#include "core/Operations.h"
#include "core/OutcomeWords.h"
#include "core/Pause.h"
#include "core/ValueCodec.h"

#include <QtTest>
#include <functional>
#include <pwd.h>
#include <sys/stat.h>

using adaptersim::Direction;
using core::Operation;
using core::Phase;
using core::Status;

Q_DECLARE_METATYPE(core::Operation)
Q_DECLARE_METATYPE(core::Status)

namespace {

// A front end that answers from a script and records what it was told; an answer left unset
// is the one a front end that does not answer gives.
struct ScriptedObserver : core::OperationObserver {
    std::optional<QString> readTarget = QString();
    std::optional<core::ImageSource> programSource;
    bool acceptSize = true;
    std::optional<bool> replace; // to both questions about the target
    QList<core::Progress> progress;
    QStringList asked; // "size", "short", "read-only" in the order asked
    std::function<void(const core::Progress&)> onProgress;
    std::function<void()> whileAsked; // runs inside every question, as a box left open would

    void OnProgress(const core::Progress& p) override {
        progress << p;
        if (onProgress) {
            onProgress(p);
        }
    }
    std::optional<QString> ChooseReadTarget() override { return readTarget; }
    std::optional<core::ImageSource> ChooseProgramSource() override { return programSource; }
    bool AcceptImageSize(const QString&, qint64, int) override { return Ask("size", acceptSize); }
    bool ReplaceReadOnly(const QString& path) override {
        return Ask("read-only", replace.value_or(OperationObserver::ReplaceReadOnly(path)));
    }
    bool ReplaceWithShortRead(const QString& path, int got, int n) override {
        return Ask("short",
                   replace.value_or(OperationObserver::ReplaceWithShortRead(path, got, n)));
    }
    bool Ask(const QString& what, bool answer) {
        asked << what;
        if (whileAsked) {
            whileAsked();
        }
        return answer;
    }
};

struct CoreBench {
    FakeClock clock;
    adaptersim::AdapterModel model;
    PortFaults failing;
    core::PortControl port{SimulatedLine(clock, model, failing)};
    core::Operations operations{port, clock};
    ScriptedObserver observer;
    QTemporaryDir files;

    CoreBench() {
        port.SetDevice(QStringLiteral("sim"));
        port.SetInBufferSize(512);
        port.SetInputLen(1);
    }
    static const core::Family& Family(char code) {
        return *core::FindFamily(QString(QChar::fromLatin1(code)));
    }
    core::Outcome Run(Operation operation, char family, bool fast = false) {
        model.ClearWireLog();
        core::OperationOptions options;
        options.fastReceive = fast;
        return operations.Run(operation, Family(family), observer, options);
    }
    QString Path(const QString& name) const { return files.filePath(name); }
    // Programs from a raw file of these bytes, whatever its name.
    void Source(const QString& name, const QByteArray& bytes) {
        WriteFile(Path(name), bytes);
        observer.programSource = core::ImageSource{Path(name), std::nullopt};
    }
    QByteArray Sent() const { return model.WireBytes(Direction::ToAdapter); }
    int FileCount() const { return int(QDir(files.path()).entryList(QDir::Files).size()); }
};

// From the family letter to the port's close, when every wait takes what the protocol says.
double ProtocolFloorMs(Operation operation, int n) {
    switch (operation) {
    case Operation::Read:
    case Operation::Verify:
        return 10 + 10 + 10 + 200 + n * 75.0;
    case Operation::Program:
        return 10 + 10 + 40 + n * 2.0 + (n == 256 ? 13 : 26) * 900.0;
    default:
        return 10 + 500;
    }
}

int ModeOf(const QString& path) {
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
}

void SetMode(const QString& path, int mode) {
    QCOMPARE(::chmod(QFile::encodeName(path).constData(), mode_t(mode)), 0);
}

int Umasked(int mode) {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mode & ~int(mask);
}

} // namespace

class CoreOperationsTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir;

private slots:
    // Every way an operation ends, on a chip holding a pattern, programming from a file: the
    // family is the first letter sent; "" a healthy run. The setup's words: fast (receive);
    // silent, ms=, stop=, mark= (the adapter's faults); opens= (the line, after the port);
    // cancel=open|letter|N (at the first wait, after the command letter, at received byte N);
    // hold (cancel while the chip is written: not taken); abort (while it settles);
    // failwrite=, failread=, err= (the port); file=KIND (the image or target). number: the
    // error number of a port error, the byte a mismatch is at, else the bytes received (-1:
    // some, fewer than a block). msAfterC: the longest the end may take after "c" (0: any).
    void operations_data() {
        // sent: PROGRAM's: how it starts.
        Columns<Operation, QString, Status, QByteArray, int, double>(
            {"operation", "setup", "status", "sent", "number", "msAfterC"});
        const Operation R = Operation::Read, V = Operation::Verify, P = Operation::Program,
                        W = Operation::ClearWpo, B = Operation::BulkErase;
        const QByteArray r = "yrc", v = "yvc", p = "ypc";
        // clang-format off
        QTest::newRow("read x") << R << "" << Status::Done << QByteArray("xrc") << 512 << 0.0;
        QTest::newRow("read t") << R << "" << Status::Done << QByteArray("trc") << 256 << 0.0;
        QTest::newRow("program x") << P << "" << Status::Done << QByteArray("xpc") << 0 << 0.0;
        QTest::newRow("program y") << P << "" << Status::Done << p << 0 << 0.0;
        QTest::newRow("verify x") << V << "" << Status::Done << QByteArray("xvc") << 512 << 0.0;
        QTest::newRow("verify y") << V << "" << Status::Done << v << 256 << 0.0;
        QTest::newRow("clear wpo") << W << "" << Status::Done << QByteArray("yw") << 0 << 0.0;
        QTest::newRow("bulk erase") << B << "" << Status::Done << QByteArray("xb") << 0 << 0.0;
        QTest::newRow("read silent") << R << "silent" << Status::NoAnswer << r << 0 << 0.0;
        QTest::newRow("read slow") << R << "ms=150" << Status::ShortAnswer << r << -1 << 0.0;
        QTest::newRow("read stops at 40") << R << "stop=40" << Status::ShortAnswer << r << 40 << 0.0;
        QTest::newRow("verify stops at 1") << V << "stop=1" << Status::ShortAnswer << v << 1 << 0.0;
        // Too slow for the mark at 200 to be seen: never a match.
        QTest::newRow("verify slow, mark at 200") << V << "ms=150 mark=200" << Status::ShortAnswer << v << -1 << 0.0;
        QTest::newRow("verify mark first") << V << "mark=0" << Status::Mismatch << v << 0 << 0.0;
        QTest::newRow("verify mark last") << V << "mark=255" << Status::Mismatch << v << 255 << 0.0;
        // Fast receive: as the bytes come, within 1 s of "c" and then 250 ms of each other.
        QTest::newRow("fast read, prompt") << R << "fast" << Status::Done << r << 256 << 256 * 1.042 + 15;
        QTest::newRow("fast read, 200 ms a byte") << R << "fast ms=200" << Status::Done << r << 256 << 256 * 200 + 15.0;
        QTest::newRow("fast read, stalls after 40") << R << "fast stop=40" << Status::ShortAnswer << r << 40 << 40 * 1.042 + 250 + 15;
        QTest::newRow("fast verify, silent") << V << "fast silent" << Status::NoAnswer << v << 0 << 1000 + 15.0;
        QTest::newRow("fast verify, mark") << V << "fast mark=9" << Status::Mismatch << v << 9 << 10 * 1.042 + 15;
        // A line that opens only after the port (a terminal server's): the family letter waits.
        QTest::newRow("line opens late") << W << "opens=50" << Status::Done << QByteArray("yw") << 0 << 0.0;
        QTest::newRow("read, cancel at the first wait") << R << "cancel=open" << Status::Cancelled << QByteArray("y") << 0 << 0.0;
        QTest::newRow("read, cancel before c") << R << "cancel=letter" << Status::Cancelled << QByteArray("yre") << 0 << 0.0;
        QTest::newRow("read, cancel mid-receive") << R << "cancel=100" << Status::Cancelled << r << 0 << 0.0;
        QTest::newRow("read, cancel at the last byte") << R << "cancel=255" << Status::Cancelled << r << 0 << 0.0;
        QTest::newRow("program, cancel not taken") << P << "hold" << Status::Done << p << 0 << 0.0;
        QTest::newRow("clear wpo, cancel not taken") << W << "hold" << Status::Done << QByteArray("yw") << 0 << 0.0;
        QTest::newRow("bulk erase, cancel not taken") << B << "hold" << Status::Done << QByteArray("yb") << 0 << 0.0;
        QTest::newRow("program, aborted") << P << "abort" << Status::Aborted << p << 0 << 0.0;
        QTest::newRow("clear wpo, aborted") << W << "abort" << Status::Aborted << QByteArray("yw") << 0 << 0.0;
        QTest::newRow("bulk erase, aborted") << B << "abort" << Status::Aborted << QByteArray("yb") << 0 << 0.0;
        QTest::newRow("read, port fails at c") << R << "failwrite=3" << Status::PortError << QByteArray("yre") << 8019 << 0.0;
        QTest::newRow("read, port fails mid-receive") << R << "ms=150 failread=10 err=8020" << Status::PortError << r << 8020 << 0.0;
        QTest::newRow("verify, error 5") << V << "failwrite=2 err=5" << Status::PortError << QByteArray("ye") << 5 << 0.0;
        QTest::newRow("program, port fails mid-data") << P << "failwrite=40" << Status::PortError << p << 8019 << 0.0;
        QTest::newRow("bulk erase, port fails at the letter") << B << "failwrite=2" << Status::PortError << QByteArray("y") << 8019 << 0.0;
        QTest::newRow("read into a missing folder") << R << "file=no/such/folder/image.bin" << Status::FileError << QByteArray("yre") << 0 << 0.0;
        QTest::newRow("read into a FIFO") << R << "file=fifo" << Status::FileError << QByteArray("yre") << 0 << 0.0;
        QTest::newRow("program a missing file") << P << "file=missing.bin" << Status::FileError << QByteArray("ype") << 0 << 0.0;
        QTest::newRow("program a folder") << P << "file=." << Status::FileError << QByteArray("ype") << 0 << 0.0;
        QTest::newRow("program a FIFO") << P << "file=fifo" << Status::FileError << QByteArray("ype") << 0 << 0.0; // open() would block
        QTest::newRow("program a device") << P << "file=/dev/zero" << Status::FileError << QByteArray("ype") << 0 << 0.0;
        QTest::newRow("program 5 GiB, never read") << P << "file=huge" << Status::FileError << QByteArray("ype") << 0 << 0.0;
        // clang-format on
    }
    void operations() {
        const auto [operation, setup, status, sent, number, msAfterC] =
            Row<Operation, QString, Status, QByteArray, int, double>(
                {"operation", "setup", "status", "sent", "number", "msAfterC"});
        CoreBench b;
        const char family = sent[0];
        const int n = b.Family(family).blockSize;
        b.model.SetEeprom(Pattern(512, 1));
        b.model.SetWpo(0x5A);
        b.Source("image.hex", Pattern(n, 5)); // raw bytes whatever the extension
        const QString keep = b.Path("keep.bin");
        WriteFile(keep, "keep");
        b.observer.readTarget = keep;
        bool fast = false;
        QString path;
        int cancelAt = -3;
        for (const QString& word : setup.split(' ')) {
            const QString key = word.section('=', 0, 0), value = word.section('=', 1);
            const int n = value.toInt();
            adaptersim::AdapterFaults& faults = b.model.Faults();
            fast |= key == "fast";
            faults.silent |= key == "silent";
            faults.msPerByte = key == "ms" ? n : faults.msPerByte;
            faults.stopAfter = key == "stop" ? n : faults.stopAfter;
            faults.mismatchAt = key == "mark" ? n : faults.mismatchAt;
            b.failing.opensInMs = key == "opens" ? n : b.failing.opensInMs;
            b.failing.failOnWrite = key == "failwrite" ? n : b.failing.failOnWrite;
            b.failing.failOnRead = key == "failread" ? n : b.failing.failOnRead;
            b.failing.errorNumber = key == "err" ? n : b.failing.errorNumber;
            if (key == "cancel") {
                cancelAt = value == "open" ? -2 : value == "letter" ? -1 : n;
            } else if (key == "file") {
                path = value.startsWith('/') ? value : b.Path(value);
                if (value == "fifo") {
                    QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
                } else if (value == "huge") {
                    QFile file(path);
                    QVERIFY(file.open(QIODevice::WriteOnly) && file.resize(qint64(5) << 30));
                }
                b.observer.readTarget = path;
                b.observer.programSource = core::ImageSource{path, std::nullopt};
            }
        }
        b.observer.onProgress = [&](const core::Progress& p) {
            const bool writing = p.phase == Phase::Sending || p.phase == Phase::Settling;
            if (cancelAt >= 0 ? p.phase == Phase::Receiving && p.done == cancelAt
                              : cancelAt == -2 && p.phase == Phase::Opening) {
                QVERIFY(p.cancellable);
                b.operations.Stop().RequestCancel();
            } else if (setup == "hold" && writing) {
                QVERIFY(!p.cancellable);
                b.operations.Stop().RequestCancel();
            } else if (setup == "abort" && p.phase == Phase::Settling) {
                b.operations.Stop().RequestAbort();
            }
        };
        b.failing.afterWrite = [&](int writes) {
            if (cancelAt == -1 && writes == 2) { // the command letter
                b.operations.Stop().RequestCancel();
            }
        };
        const bool writesChip = operation != Operation::Read && operation != Operation::Verify;
        const int files = b.FileCount();
        const double start = b.clock.NowMs();
        const core::Outcome outcome = b.Run(operation, family, fast);

        QCOMPARE(outcome.status, status);
        QCOMPARE(operation == Operation::Program ? b.Sent().left(sent.size()) : b.Sent(), sent);
        QVERIFY(!b.port.PortOpen());
        QCOMPARE(outcome.chipWritten,
                 writesChip && status != Status::FileError && status != Status::Cancelled);
        const auto log = b.model.WireLog(Direction::ToAdapter);
        QVERIFY(log[0].timeMs - start >= b.failing.opensInMs - 1);
        QVERIFY(log.size() < 2 || log[1].timeMs - log[0].timeMs >= 10);
        QVERIFY(log.size() < 3 || log[2].byte != 'c' || log[2].timeMs - log[1].timeMs >= 10);
        if (sent.endsWith("rc") || sent.endsWith("vc")) {
            const double afterC = b.clock.NowMs() - log[2].timeMs;
            QVERIFY2(afterC >= 10 && (msAfterC == 0 || afterC <= msAfterC),
                     qPrintable(QString::number(afterC)));
        }
        if (status == Status::PortError) {
            QCOMPARE(outcome.errorNumber, number);
        } else if (status == Status::Mismatch) {
            QCOMPARE(outcome.mismatchAt, number);
            QCOMPARE(outcome.received, number + 1);
        } else if (status == Status::FileError) {
            QCOMPARE(outcome.path, path);
            QVERIFY(!outcome.message.isEmpty());
            QVERIFY(!setup.endsWith("huge") || outcome.message.contains("5368709120 bytes long"));
            QVERIFY(b.clock.NowMs() < 1000);
        } else if (status != Status::Cancelled && !writesChip) {
            QVERIFY(number >= 0 ? outcome.received == number
                                : outcome.received > 0 && outcome.received < 256);
            QVERIFY(operation != Operation::Read ||
                    outcome.data == b.model.Block(family).left(outcome.received));
        }
        // The target is replaced only by a whole block; nothing is left beside it.
        const bool read = operation == Operation::Read && status == Status::Done;
        QCOMPARE(ReadFile(keep), read ? b.model.Block(family) : QByteArray("keep"));
        QCOMPARE(outcome.fileWritten, read);
        QCOMPARE(b.FileCount(), files);
        if (setup.isEmpty()) { // a healthy run: its time, what it did to the chip, its progress
            const double took = b.clock.NowMs() - log[0].timeMs;
            const double floor = ProtocolFloorMs(operation, n);
            QVERIFY2(took >= floor && took < floor + 30, qPrintable(QString::number(took)));
            if (operation == Operation::Program) {
                QVERIFY(log[3].timeMs - log[2].timeMs >= 40);
                for (std::size_t i = 4; i < log.size(); ++i) {
                    QVERIFY(log[i].timeMs - log[i - 1].timeMs >= 2);
                }
                QCOMPARE(b.Sent(), sent + Pattern(n, 5));
                QCOMPARE(b.model.LastProgrammed(), Pattern(n, 5));
            }
            QVERIFY(operation != Operation::ClearWpo || b.model.Wpo() == 0);
            QVERIFY(operation != Operation::BulkErase ||
                    b.model.Eeprom() == QByteArray(512, '\xFF'));
            // The progress: rising to the block, the time left falling to zero, and exact.
            const QList<core::Progress>& p = b.observer.progress;
            QVERIFY(p.size() > 2);
            QCOMPARE(p.first().phase, Phase::Opening);
            QCOMPARE(p.last().phase, Phase::Closing);
            QCOMPARE(p.last().leftMs, 0.0);
            bool sawDataPhase = false;
            for (int i = 1; i < p.size(); ++i) {
                QVERIFY2(p[i].leftMs <= p[i - 1].leftMs + 1e-6, qPrintable(QString::number(i)));
                QVERIFY(p[i].elapsedMs >= p[i - 1].elapsedMs);
                if (p[i].phase == p[i - 1].phase) {
                    QVERIFY(p[i].done >= p[i - 1].done);
                }
                if (sawDataPhase || p[i].phase != Phase::Opening) {
                    // From the start of the data phase on, the time left is the protocol's own.
                    sawDataPhase = true;
                    const double left = outcome.elapsedMs - p[i].elapsedMs;
                    QVERIFY2(qAbs(p[i].leftMs - left) < 5,
                             qPrintable(QStringLiteral("%1 vs %2").arg(p[i].leftMs).arg(left)));
                }
            }
            // The settle wait is announced as the last byte goes, not at its first step.
            for (int i = 1; operation == Operation::Program && i < p.size(); ++i) {
                QVERIFY(p[i].phase != Phase::Settling || p[i - 1].phase == Phase::Settling ||
                        p[i].elapsedMs - p[i - 1].elapsedMs < 5);
            }
            // The byte count reaches the block; the settle wait reaches its length.
            const auto reached = [&](Phase phase) {
                return std::any_of(p.begin(), p.end(), [&](const core::Progress& q) {
                    return q.phase == phase && q.done == q.total;
                });
            };
            const bool reply = operation == Operation::Read || operation == Operation::Verify;
            QVERIFY(reached(reply ? Phase::Receiving : Phase::Settling));
            QVERIFY(operation != Operation::Program || reached(Phase::Sending));
        }

        // The next operation starts afresh and works.
        b.model.Faults() = {};
        b.failing = {};
        b.observer.onProgress = {};
        b.observer.readTarget = keep;
        b.clock.Advance(2000);
        QCOMPARE(b.Run(Operation::Read, 'y').status, Status::Done);
        QCOMPARE(ReadFile(keep), b.model.Block('y'));
    }

    // READ's target: what it held before (-1 nothing, else its mode), how much came (-1 the
    // block, 0 nothing), the answer to the question asked (-1 a front end that does not
    // answer), a full disk; what the target holds afterwards (-1 nothing, 1000 the old file,
    // else that many bytes of the block).
    void readTargets_data() {
        Columns<QString, int, int, int, bool, Status, int, QString>(
            {"name", "mode", "stopAfter", "answer", "full", "status", "fileSize", "asked"});
        // clang-format off
        QTest::newRow("new, whole block") << "t.bin" << -1 << -1 << 0 << false << Status::Done << 256 << "";
        QTest::newRow("existing, whole block") << "t.bin" << 0640 << -1 << 0 << false << Status::Done << 256 << "";
        QTest::newRow("existing, short, keep") << "t.bin" << 0644 << 40 << 0 << false << Status::ShortAnswer << 1000 << "short";
        QTest::newRow("existing, short, not answered") << "t.bin" << 0644 << 40 << -1 << false << Status::ShortAnswer << 1000 << "short";
        QTest::newRow("existing, short, replace") << "t.bin" << 0644 << 40 << 1 << false << Status::ShortAnswer << 40 << "short";
        QTest::newRow("new, short") << "t.bin" << -1 << 40 << 0 << false << Status::ShortAnswer << 40 << "";
        QTest::newRow("existing, silent") << "t.bin" << 0644 << 0 << 1 << false << Status::NoAnswer << 1000 << "";
        QTest::newRow("new, silent") << "t.bin" << -1 << 0 << 1 << false << Status::NoAnswer << -1 << "";
        QTest::newRow("read-only, not answered") << "fw.bin" << 0444 << -1 << -1 << false << Status::Cancelled << 1000 << "read-only";
        QTest::newRow("read-only, kept") << "fw.bin" << 0444 << -1 << 0 << false << Status::Cancelled << 1000 << "read-only";
        QTest::newRow("read-only, replaced") << "fw.bin" << 0444 << -1 << 1 << false << Status::Done << 256 << "read-only";
        QTest::newRow("full disk, raw") << "fw.bin" << 0644 << -1 << 0 << true << Status::FileError << 1000 << "";
        QTest::newRow("full disk, Intel HEX at the end") << "fw.ihx" << 0644 << -1 << 0 << true << Status::FileError << 1000 << "";
        // clang-format on
    }
    void readTargets() {
        const auto [name, mode, stopAfter, answer, full, status, fileSize, asked] =
            Row<QString, int, int, int, bool, Status, int, QString>(
                {"name", "mode", "stopAfter", "answer", "full", "status", "fileSize", "asked"});
        CoreBench b;
        b.model.SetEeprom(Pattern(512, 2));
        b.model.Faults().stopAfter = stopAfter;
        const QString path = b.Path(name);
        if (mode >= 0) {
            WriteFile(path, QByteArray(1000, 'z'));
            SetMode(path, mode);
        }
        b.observer.readTarget = path;
        b.observer.replace = answer < 0 ? std::nullopt : std::optional<bool>(answer == 1);
        auto limit = full ? std::make_optional<FileSizeLimit>(100) : std::nullopt;
        const core::Outcome outcome = b.Run(Operation::Read, 'y');
        limit.reset();
        QCOMPARE(outcome.status, status);
        QCOMPARE(outcome.targetExisted, mode >= 0);
        QCOMPARE(b.observer.asked.join(' '), asked);
        QCOMPARE(QFileInfo::exists(path), fileSize >= 0);
        QCOMPARE(fileSize < 0 ? QByteArray() : ReadFile(path),
                 fileSize == 1000 ? QByteArray(1000, 'z')
                                  : b.model.Block('y').left(qMax(fileSize, 0)));
        QCOMPARE(ModeOf(path), fileSize < 0 ? -1 : mode >= 0 ? mode : Umasked(0666));
        QCOMPARE(outcome.fileWritten, fileSize >= 0 && fileSize != 1000);
        // Nothing of the new image is left beside the target.
        QCOMPARE(b.FileCount(), fileSize >= 0 ? 1 : 0);
        if (status == Status::Cancelled) {
            QCOMPARE(b.Sent(), QByteArray("yre"));
            QVERIFY(core::Describe(outcome, {}).summary.endsWith(name + " was kept as it was"));
        } else if (full) {
            QCOMPARE(outcome.message, QStringLiteral("File too large"));
            QVERIFY(core::Describe(outcome, {}).headline.contains(path + "\": File too large"));
        }
    }

    void programSettlesTheImageSizeBeforeC_data() {
        Columns<char, int>({"family", "fileSize"});
        QTest::newRow("512 bytes for 256") << 'y' << 512;
        QTest::newRow("600 bytes for 512") << 'x' << 600;
        QTest::newRow("100 bytes for 256") << 'y' << 100;
    }
    void programSettlesTheImageSizeBeforeC() {
        const auto [family, fileSize] = Row<char, int>({"family", "fileSize"});
        CoreBench b;
        const int n = b.Family(family).blockSize;
        b.Source("f.bin", Pattern(fileSize, 9));
        // Left open 3 s, longer than the adapter waits for data after "c": it must come before.
        QByteArray sentWhenAsked;
        b.observer.whileAsked = [&] {
            sentWhenAsked = b.Sent();
            b.clock.Advance(3000);
        };
        const core::Outcome outcome = b.Run(Operation::Program, family);
        QCOMPARE(b.observer.asked, QStringList{"size"});
        QCOMPARE(sentWhenAsked, QByteArray() + family + 'p');
        QCOMPARE(outcome.status, Status::Done);
        QByteArray expected = Pattern(fileSize, 9).left(n);
        expected.append(n - expected.size(), '\xFF'); // a short image ends in erased bytes
        QCOMPARE(b.Sent().mid(3), expected);
        QCOMPARE(b.model.Block(family), expected);

        // Declining the size abandons the programming.
        b.observer.acceptSize = false;
        QCOMPARE(b.Run(Operation::Program, family).status, Status::Cancelled);
        QCOMPARE(b.Sent(), QByteArray() + family + "pe");
    }

    void hostCompareNamesTheDifferences() {
        CoreBench b;
        const QByteArray image = Pattern(256, 6);
        b.Source("f.bin", image);
        b.model.Faults().wornAt = 37;
        QCOMPARE(b.Run(Operation::Program, 'y').status, Status::Done);

        core::Outcome outcome = b.operations.VerifyAgainst(b.Family('y'), image, b.observer);
        QCOMPARE(outcome.status, Status::Mismatch);
        QCOMPARE(outcome.differenceCount, 1);
        QCOMPARE(outcome.differences[0].offset, 37);
        QCOMPARE(int(outcome.differences[0].expected), int(uchar(image[37])));
        QCOMPARE(int(outcome.differences[0].found), 0);

        QByteArray chip = image;
        chip[37] = 0;
        outcome = b.operations.VerifyAgainst(b.Family('y'), chip, b.observer);
        QCOMPARE(outcome.status, Status::Done);
    }

    void pauseEndsWhenToldAndHandlesNoEventsForZero() {
        FakeClock clock;
        core::Pause(clock, 0);
        QCOMPARE(clock.ProcessCount(), 0);
        bool stop = false;
        clock.Schedule(100, [&] { stop = true; });
        QVERIFY(core::Pause(clock, 23400, [&] { return stop; }));
        QVERIFY(clock.NowMs() < 200);
        QVERIFY(!core::Pause(clock, 900));
        QVERIFY(clock.NowMs() >= 1000);
    }

    // An image target on its own, as tms370 uses it: a read-only file replaced when confirmed
    // by an ordinary user (root may write any file) keeps its mode and leaves nothing beside
    // it; another's file replaced by root keeps its owner, group and set-group-id. (The
    // question, new files and refusals: readTargets.)
    void replacedFilesKeepTheirOwnerAndMode() {
        const QString folder = dir.filePath(QStringLiteral("user"));
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("user")));
        SetMode(dir.path(), 0755); // a folder an ordinary user may write to
        SetMode(folder, 0777);
        const QString path = QDir(folder).filePath(QStringLiteral("fw.bin"));
        const auto replace = [&](int mode) { // 0 when replaced, keeping the mode
            WriteFile(path, "old");
            ::chmod(QFile::encodeName(path).constData(), mode_t(mode));
            core::ImageTarget target;
            QString why;
            return target.Open(path, &why, true) && target.Commit("new", &why) &&
                           ReadFile(path) == "new" && ModeOf(path) == mode
                       ? 0
                       : 1;
        };
        QCOMPARE(AsOrdinaryUser([&] { return replace(0444); }), 0);
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden).size(), 1);
        const passwd* nobody = ::getpwnam("nobody");
        if (::geteuid() != 0 || !nobody) {
            QSKIP("only root may give a file to another user");
        }
        QCOMPARE(::chown(QFile::encodeName(path).constData(), nobody->pw_uid, nobody->pw_gid), 0);
        QCOMPARE(replace(02750), 0);
        struct stat st {};
        QCOMPARE(::stat(QFile::encodeName(path).constData(), &st), 0);
        QVERIFY(st.st_uid == nobody->pw_uid && st.st_gid == nobody->pw_gid);
    }

    // A failed write's reason: Qt's own where it kept one, else the system's, else words for
    // none.
    void reasonsComeFromQtOrTheSystem() {
        QFile file(dir.filePath(QStringLiteral("none/such.bin")));
        QCOMPARE(core::FileErrorReason(file, ENOSPC), "No space left on device");
        QCOMPARE(core::FileErrorReason(file, EFBIG), "File too large");
        QCOMPARE(core::FileErrorReason(file, 0), "writing failed, and the system gave no reason");
        QVERIFY(!file.open(QIODevice::ReadOnly));
        QCOMPARE(core::FileErrorReason(file, EFBIG), "No such file or directory");
    }
    // Values at their types' extremes (the bytes as Python's struct packs them) read and
    // typed back; other texts a user types; what is refused and why.
    void valuesReadAndTypedBack_data() {
        Columns<QString, QByteArray, QString>({"format", "hex", "text"});
        const QList<std::array<const char*, 3>> rows = {
            {"u8", "FF", "255"},
            {"i8", "80", "-128"},
            {"u16le", "FF FF", "65535"},
            {"u16be", "12 34", "4660"},
            {"i16le", "00 80", "-32768"},
            {"i16be", "7F FF", "32767"},
            {"u32le", "FF FF FF FF", "4294967295"},
            {"u32be", "DE AD BE EF", "3735928559"},
            {"i32le", "00 00 00 80", "-2147483648"},
            {"i32be", "FF FF FF FE", "-2"},
            {"u64le", "FF FF FF FF FF FF FF FF", "18446744073709551615"},
            {"u64be", "01 02 03 04 05 06 07 08", "72623859790382856"},
            {"i64le", "00 00 00 00 00 00 00 80", "-9223372036854775808"},
            {"i64be", "7F FF FF FF FF FF FF FF", "9223372036854775807"},
            {"f32le", "FF FF 7F 7F", "3.4028235e+38"},
            {"f32be", "80 00 00 01", "-1e-45"},
            {"f32le", "00 00 C0 7F", "nan"},
            {"f32be", "FF 80 00 00", "-inf"},
            {"f64le", "FF FF FF FF FF FF EF 7F", "1.7976931348623157e+308"},
            {"f64be", "3F B9 99 99 99 99 99 9A", "0.1"},
            {"binary", "5A", "0101 1010"},
            {"bcd:4", "00 12 34 09", "00123409"},
            {"char", "00", "NUL"},
            {"char", "20", "SP"},
            {"char", "80", "\u20AC"},
            {"char", "81", "81h"},
            {"char", "E9", "\u00E9"},
            {"bytes:3", "00 1A 2B", "00 1A 2B"},
            {"ascii:6", "41 0A 5C 42 00 00", "A\\x0A\\\\B"},
        };
        for (const auto& [format, hex, text] : rows) {
            QTest::addRow("%s %s", format, text) << format << QByteArray::fromHex(hex) << text;
        }
    }
    void valuesReadAndTypedBack() {
        const auto [name, bytes, text] =
            Row<QString, QByteArray, QString>({"format", "hex", "text"});
        const std::optional<core::ValueFormat> format = core::ParseValueFormat(name);
        QVERIFY(format);
        QCOMPARE(core::ValueFormatName(*format), name);
        QCOMPARE(core::ValueWidth(*format), bytes.size());
        QCOMPARE(core::DecodeValue(*format, bytes), text);
        QString why;
        QCOMPARE(core::EncodeValue(*format, text, &why).value_or("refused: " + why.toUtf8()),
                 bytes);
    }

    void valuesTyped_data() {
        Columns<QString, QString, QString>({"format", "text", "hex or why"});
        const QList<std::array<const char*, 3>> rows = {
            {"u8", " 0xff ", "FF"},
            {"i16be", "FFFFh", "FF FF"},
            {"i16le", "-0x10", "F0 FF"},
            {"bcd:2", "12", "00 12"},
            {"bytes:2", "001a", "00 1A"},
            {"ascii:4", "AB", "41 42 00 00"},
            {"binary", "1", "01"},
            {"char", "lf", "0A"},
            {"u8", "300", "300 does not fit in u8: 0 to 255"},
            {"u8", "-1", "-1 does not fit in u8: 0 to 255"},
            {"i8", "128", "128 does not fit in i8: -128 to 127"},
            {"i8", "-129", "-129 does not fit in i8: -128 to 127"},
            {"i16le", "10000h", "10000h does not fit in i16le: -32768 to 32767"},
            {"u64be", "18446744073709551616", "18446744073709551616 does not fit in u64be"},
            {"u16le", "12G", "12G is not a number"},
            {"f32le", "1e39", "1e39 does not fit in f32le"},
            {"f64be", "1.5.2", "1.5.2 is not a number"},
            {"bcd:2", "12345", "12345 does not fit in bcd:2: at most 4 digits"},
            {"bcd:2", "1a", "1a is not a BCD number"},
            {"bytes:2", "00 1A 2B", "00 1A 2B gives 3 bytes; bytes:2 takes 2"},
            {"bytes:2", "0G1A", "0G1A is not hex bytes"},
            {"ascii:2", "ABC", "ABC is 3 characters; ascii:2 holds 2"},
            {"ascii:2", "\u00E9", "\u00E9 is not ASCII"},
            {"ascii:2", "\\q", "a backslash starts"},
            {"binary", "1 0000 0000", "is not a byte in binary"},
            {"char", "\u0101", "\u0101 is not a Windows-1252 character"},
            {"u8", "", "give a value for u8"},
        };
        for (const auto& [format, text, result] : rows) {
            QTest::addRow("%s %s", format, text) << format << text << result;
        }
    }
    void valuesTyped() {
        const auto [name, text, expected] =
            Row<QString, QString, QString>({"format", "text", "hex or why"});
        QString why;
        const std::optional<QByteArray> bytes =
            core::EncodeValue(core::ParseValueFormat(name).value(), text, &why);
        const QString got = bytes ? QString::fromLatin1(bytes->toHex(' ').toUpper()) : why;
        QVERIFY2(got.contains(expected), qPrintable(got));
    }

    void valueFormatsAreNamedExactly() {
        for (const char* name : {"bytes", "bytes:0", "U8", "bcd:4097", "u8:2", "ascii:x"}) {
            QVERIFY2(!core::ParseValueFormat(QLatin1String(name)), name);
        }
        QCOMPARE(core::DecodeValue(*core::ParseValueFormat("bcd:2"), "\x12\x3A"), "not BCD: 12 3A");
    }
};

QTEST_GUILESS_MAIN(CoreOperationsTest)
#include "tst_operations.moc"
