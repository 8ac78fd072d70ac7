#include "CoreBench.h"
#include "FileSystemLimits.h"
#include "core/OutcomeWords.h"
#include "core/Pause.h"

#include <QtTest>
#include <sys/stat.h>

using core::Operation;
using core::Phase;
using core::Status;

Q_DECLARE_METATYPE(core::Operation)
Q_DECLARE_METATYPE(core::Status)

namespace {

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

void AddOperationRows() {
    QTest::addColumn<Operation>("operation");
    QTest::addColumn<char>("family");
    QTest::addColumn<QByteArray>("commands");
    QTest::newRow("read x") << Operation::Read << 'x' << QByteArray("xrc");
    QTest::newRow("read t") << Operation::Read << 't' << QByteArray("trc");
    QTest::newRow("program x") << Operation::Program << 'x' << QByteArray("xpc");
    QTest::newRow("program y") << Operation::Program << 'y' << QByteArray("ypc");
    QTest::newRow("verify x") << Operation::Verify << 'x' << QByteArray("xvc");
    QTest::newRow("verify y") << Operation::Verify << 'y' << QByteArray("yvc");
    QTest::newRow("clear wpo") << Operation::ClearWpo << 'y' << QByteArray("yw");
    QTest::newRow("bulk erase") << Operation::BulkErase << 'x' << QByteArray("xb");
}

int BlockOf(char family) {
    return family == 'x' ? 512 : 256;
}

} // namespace

class CoreOperationsTest : public QObject {
    Q_OBJECT

    // A healthy run of operation on a chip holding a pattern, programming from a file.
    core::Outcome RunHealthy(CoreBench& b, Operation operation, char family) {
        b.model.SetEeprom(Pattern(512, 3));
        b.model.SetWpo(0x5A);
        b.observer.readTarget = b.Path("chip.bin");
        b.observer.programSource = core::ImageSource{
            b.Path("image.hex"), std::nullopt}; // raw bytes whatever the extension
        WriteFile(b.Path("image.hex"), Pattern(BlockOf(family), 5));
        return b.Run(operation, family);
    }

private slots:
    void eachOperationOnTheWireWithItsProgress_data() { AddOperationRows(); }
    void eachOperationOnTheWireWithItsProgress() {
        QFETCH(Operation, operation);
        QFETCH(char, family);
        QFETCH(QByteArray, commands);
        CoreBench b;
        const int n = BlockOf(family);
        const core::Outcome outcome = RunHealthy(b, operation, family);

        QCOMPARE(outcome.status, Status::Done);
        QCOMPARE(b.Sent(), operation == Operation::Program ? commands + Pattern(n, 5) : commands);
        const auto log = b.SentLog();
        QVERIFY(log[1].timeMs - log[0].timeMs >= 10);
        if (log.size() > 2) {
            QVERIFY(log[2].timeMs - log[1].timeMs >= 10);
        }
        const double took = b.clock.NowMs() - log[0].timeMs;
        const double floor = ProtocolFloorMs(operation, n);
        QVERIFY2(took >= floor && took < floor + 30, qPrintable(QString::number(took)));
        QVERIFY(!b.port.PortOpen());

        switch (operation) {
        case Operation::Read:
            QCOMPARE(outcome.data, b.model.Block(family));
            QCOMPARE(ReadFile(b.Path("chip.bin")), b.model.Block(family));
            QVERIFY(outcome.fileWritten);
            break;
        case Operation::Program:
            QVERIFY(log[3].timeMs - log[2].timeMs >= 40);
            for (std::size_t i = 4; i < log.size(); ++i) {
                QVERIFY(log[i].timeMs - log[i - 1].timeMs >= 2);
            }
            QCOMPARE(b.model.LastProgrammed(), Pattern(n, 5));
            QVERIFY(outcome.chipWritten);
            break;
        case Operation::Verify:
            QCOMPARE(outcome.received, n);
            break;
        case Operation::ClearWpo:
            QCOMPARE(b.model.Wpo(), 0);
            break;
        case Operation::BulkErase:
            QCOMPARE(b.model.Eeprom(), QByteArray(512, '\xFF'));
            break;
        }

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

    void answersOfTheAdapter_data() {
        QTest::addColumn<Operation>("operation");
        QTest::addColumn<bool>("fast");
        QTest::addColumn<double>("msPerByte");
        QTest::addColumn<int>("stopAfter");
        QTest::addColumn<int>("mismatchAt");
        QTest::addColumn<bool>("silent");
        QTest::addColumn<Status>("status");
        QTest::addColumn<int>("received");    // -1: some, but fewer than a block
        QTest::addColumn<double>("msAfterC"); // the longest it may take after "c"; 0: any
        const Operation R = Operation::Read, V = Operation::Verify;
        // clang-format off
        QTest::newRow("read silent") << R << false << 0.0 << -1 << -1 << true << Status::NoAnswer << 0 << 0.0;
        QTest::newRow("read slow") << R << false << 150.0 << -1 << -1 << false << Status::ShortAnswer << -1 << 0.0;
        QTest::newRow("read stops at 40") << R << false << 0.0 << 40 << -1 << false << Status::ShortAnswer << 40 << 0.0;
        QTest::newRow("verify stops at 1") << V << false << 0.0 << 1 << -1 << false << Status::ShortAnswer << 1 << 0.0;
        // Too slow for the mark at 200 to be seen: never a match.
        QTest::newRow("verify slow, mark at 200") << V << false << 150.0 << -1 << 200 << false << Status::ShortAnswer << -1 << 0.0;
        QTest::newRow("verify mark first") << V << false << 0.0 << -1 << 0 << false << Status::Mismatch << 1 << 0.0;
        QTest::newRow("verify mark last") << V << false << 0.0 << -1 << 255 << false << Status::Mismatch << 256 << 0.0;
        // Fast receive: as the bytes come, within 1 s of "c" and then 250 ms of each other.
        QTest::newRow("fast read, prompt") << R << true << 0.0 << -1 << -1 << false << Status::Done << 256 << 256 * 1.042 + 15;
        QTest::newRow("fast read, 200 ms a byte") << R << true << 200.0 << -1 << -1 << false << Status::Done << 256 << 256 * 200 + 15.0;
        QTest::newRow("fast read, stalls after 40") << R << true << 0.0 << 40 << -1 << false << Status::ShortAnswer << 40 << 40 * 1.042 + 250 + 15;
        QTest::newRow("fast verify, silent") << V << true << 0.0 << -1 << -1 << true << Status::NoAnswer << 0 << 1000 + 15.0;
        QTest::newRow("fast verify, mark") << V << true << 0.0 << -1 << 9 << false << Status::Mismatch << 10 << 10 * 1.042 + 15;
        // clang-format on
    }
    void answersOfTheAdapter() {
        QFETCH(Operation, operation);
        QFETCH(bool, fast);
        QFETCH(double, msPerByte);
        QFETCH(int, stopAfter);
        QFETCH(int, mismatchAt);
        QFETCH(bool, silent);
        QFETCH(Status, status);
        QFETCH(int, received);
        QFETCH(double, msAfterC);
        CoreBench b;
        b.model.SetEeprom(Pattern(512, 1));
        adaptersim::AdapterFaults& faults = b.model.Faults();
        faults.silent = silent;
        faults.msPerByte = msPerByte;
        faults.stopAfter = stopAfter;
        faults.mismatchAt = mismatchAt;
        const core::Outcome outcome = b.Run(operation, 'y', fast);
        QCOMPARE(outcome.status, status);
        if (received >= 0) {
            QCOMPARE(outcome.received, received);
        } else {
            QVERIFY(outcome.received > 0 && outcome.received < 256);
        }
        if (status == Status::Mismatch) {
            QCOMPARE(outcome.mismatchAt, mismatchAt);
        }
        if (operation == Operation::Read) {
            QCOMPARE(outcome.data, b.model.Block('y').left(outcome.received));
        }
        QVERIFY(!b.port.PortOpen());
        // Fast or not, what is sent and when is the same.
        const auto log = b.SentLog();
        QCOMPARE(b.Sent(), operation == Operation::Read ? QByteArray("yrc") : QByteArray("yvc"));
        QVERIFY(log[1].timeMs - log[0].timeMs >= 10 && log[2].timeMs - log[1].timeMs >= 10);
        const double afterC = b.clock.NowMs() - log[2].timeMs;
        QVERIFY2(afterC >= 10 && (msAfterC == 0 || afterC <= msAfterC),
                 qPrintable(QString::number(afterC)));
    }

    void readTargets_data() {
        QTest::addColumn<bool>("existed");
        QTest::addColumn<int>("stopAfter"); // -1 whole block, 0 silent
        QTest::addColumn<bool>("replace");  // the answer to the short-read question
        QTest::addColumn<int>("fileSize");  // what the target holds afterwards
        QTest::addColumn<bool>("asked");
        QTest::newRow("new, whole block") << false << -1 << false << 256 << false;
        QTest::newRow("existing, whole block") << true << -1 << false << 256 << false;
        QTest::newRow("existing, short, keep") << true << 40 << false << 1000 << true;
        QTest::newRow("existing, short, replace") << true << 40 << true << 40 << true;
        QTest::newRow("new, short") << false << 40 << false << 40 << false;
        QTest::newRow("existing, silent") << true << 0 << true << 1000 << false;
        QTest::newRow("new, silent") << false << 0 << true << -1 << false;
    }
    void readTargets() {
        QFETCH(bool, existed);
        QFETCH(int, stopAfter);
        QFETCH(bool, replace);
        QFETCH(int, fileSize);
        QFETCH(bool, asked);
        CoreBench b;
        b.model.SetEeprom(Pattern(512, 2));
        b.model.Faults().stopAfter = stopAfter;
        const QString path = b.Path("target.bin");
        if (existed) {
            WriteFile(path, QByteArray(1000, 'z'));
        }
        b.observer.readTarget = path;
        b.observer.replaceShort = replace;
        const core::Outcome outcome = b.Run(Operation::Read, 'y');
        QCOMPARE(outcome.targetExisted, existed);
        QCOMPARE(b.observer.asked.contains("short"), asked);
        QCOMPARE(QFileInfo::exists(path), fileSize >= 0);
        if (fileSize == 1000) {
            QCOMPARE(ReadFile(path), QByteArray(1000, 'z'));
        } else if (fileSize >= 0) {
            QCOMPARE(ReadFile(path), b.model.Block('y').left(fileSize));
        }
        QCOMPARE(outcome.fileWritten, fileSize >= 0 && fileSize != 1000);
        // Nothing of the new image is left beside the target.
        QCOMPARE(QDir(b.files.path()).entryList(QDir::Files).size(), fileSize >= 0 ? 1 : 0);
    }

    void readOnlyTargetsAreReplacedOnlyWhenAllowed_data() {
        QTest::addColumn<QString>("answer"); // "" for a front end that does not answer
        QTest::newRow("not answered") << "";
        QTest::newRow("no") << "no";
        QTest::newRow("yes") << "yes";
    }
    void readOnlyTargetsAreReplacedOnlyWhenAllowed() {
        QFETCH(QString, answer);
        CoreBench b;
        b.model.SetEeprom(Pattern(512, 2));
        const QString path = b.Path("fw.bin");
        WriteFile(path, "old");
        QVERIFY(::chmod(QFile::encodeName(path).constData(), 0444) == 0);
        struct Silent : core::OperationObserver {
            QString path;
            std::optional<QString> ChooseReadTarget() override { return path; }
        } silent;
        silent.path = path;
        b.observer.readTarget = path;
        b.observer.replaceReadOnly = answer == "yes";
        const core::Outcome outcome =
            answer.isEmpty() ? b.operations.Run(Operation::Read, CoreBench::Family('y'), silent)
                             : b.Run(Operation::Read, 'y');
        struct stat st {};
        QCOMPARE(::stat(QFile::encodeName(path).constData(), &st), 0);
        QCOMPARE(st.st_mode & 07777, mode_t(0444));
        if (answer == "yes") {
            QCOMPARE(outcome.status, Status::Done);
            QCOMPARE(ReadFile(path), b.model.Block('y'));
            return;
        }
        QCOMPARE(outcome.status, Status::Cancelled);
        QCOMPARE(ReadFile(path), QByteArray("old"));
        QCOMPARE(b.Sent(), QByteArray("yre"));
        QVERIFY(core::Describe(outcome, {}).summary.endsWith("fw.bin was kept as it was"));
    }

    void fullDiskNamesTheSystemsReason_data() {
        QTest::addColumn<QString>("name");
        QTest::newRow("raw") << "fw.bin";
        QTest::newRow("Intel HEX, at the end") << "fw.ihx";
    }
    void fullDiskNamesTheSystemsReason() {
        QFETCH(QString, name);
        CoreBench b;
        const QString path = b.Path(name);
        WriteFile(path, "old");
        b.observer.readTarget = path;
        core::Outcome outcome;
        {
            const FileSizeLimit full{100};
            outcome = b.Run(Operation::Read, 'y');
        }
        QCOMPARE(outcome.status, Status::FileError);
        QCOMPARE(outcome.message, QStringLiteral("File too large"));
        QVERIFY(core::Describe(outcome, {}).headline.contains(path + "\": File too large"));
        QCOMPARE(ReadFile(path), QByteArray("old"));
    }

    void unusableFilesAreRefusedBeforeC_data() {
        QTest::addColumn<Operation>("operation");
        QTest::addColumn<QString>("kind");
        QTest::newRow("read into a missing folder") << Operation::Read << "no folder";
        QTest::newRow("read into a FIFO") << Operation::Read << "fifo";
        QTest::newRow("program a missing file") << Operation::Program << "missing";
        QTest::newRow("program a folder") << Operation::Program << "folder";
        QTest::newRow("program a FIFO") << Operation::Program << "fifo"; // open() would block
        QTest::newRow("program a device") << Operation::Program << "device";
        QTest::newRow("program 1 MiB") << Operation::Program << "large";
    }
    void unusableFilesAreRefusedBeforeC() {
        QFETCH(Operation, operation);
        QFETCH(QString, kind);
        CoreBench b;
        QString path = b.Path("image.bin");
        if (kind == "no folder") {
            path = b.Path("no/such/folder/image.bin");
        } else if (kind == "folder") {
            path = b.files.path();
        } else if (kind == "fifo") {
            QVERIFY(::mkfifo(QFile::encodeName(path).constData(), 0600) == 0);
        } else if (kind == "device") {
            path = QStringLiteral("/dev/zero");
        } else if (kind == "large") {
            WriteFile(path, QByteArray(1 << 20, 'x'));
        }
        b.observer.readTarget = path;
        b.observer.programSource = core::ImageSource{path, std::nullopt};
        const core::Outcome outcome = b.Run(operation, 'y');
        QCOMPARE(outcome.status, Status::FileError);
        QCOMPARE(outcome.path, path);
        QVERIFY(!outcome.message.isEmpty());
        QVERIFY(!outcome.chipWritten);
        QCOMPARE(b.Sent(), operation == Operation::Read ? QByteArray("yre") : QByteArray("ype"));
        QVERIFY(b.clock.NowMs() < 1000);
        QVERIFY(!b.port.PortOpen());
    }

    void programSettlesTheImageSizeBeforeC_data() {
        QTest::addColumn<char>("family");
        QTest::addColumn<int>("fileSize");
        QTest::newRow("512 bytes for 256") << 'y' << 512;
        QTest::newRow("600 bytes for 512") << 'x' << 600;
        QTest::newRow("100 bytes for 256") << 'y' << 100;
    }
    void programSettlesTheImageSizeBeforeC() {
        QFETCH(char, family);
        QFETCH(int, fileSize);
        CoreBench b;
        const int n = BlockOf(family);
        const QByteArray data = WriteFile(b.Path("f.bin"), Pattern(fileSize, 9));
        b.observer.programSource = core::ImageSource{b.Path("f.bin"), std::nullopt};
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
        QByteArray expected = data.left(n);
        expected.append(n - expected.size(), '\xFF'); // a short image ends in erased bytes
        QCOMPARE(b.Sent().mid(3), expected);
        QCOMPARE(b.model.Block(family), expected);

        // Declining the size abandons the programming.
        b.observer.acceptSize = false;
        QCOMPARE(b.Run(Operation::Program, family).status, Status::Cancelled);
        QCOMPARE(b.Sent(), QByteArray() + family + "pe");
    }

    void readAndVerifyCancelCleanly_data() {
        QTest::addColumn<Operation>("operation");
        QTest::addColumn<int>("atByte"); // -2 first wait, -1 before "c", else after that byte
        QTest::addColumn<QByteArray>("sent");
        QTest::newRow("read, first wait") << Operation::Read << -2 << QByteArray("y");
        QTest::newRow("read, before c") << Operation::Read << -1 << QByteArray("yre");
        QTest::newRow("read, mid-receive") << Operation::Read << 100 << QByteArray("yrc");
        QTest::newRow("read, last byte") << Operation::Read << 255 << QByteArray("yrc");
        QTest::newRow("verify, first wait") << Operation::Verify << -2 << QByteArray("y");
        QTest::newRow("verify, mid-receive") << Operation::Verify << 100 << QByteArray("yvc");
        QTest::newRow("verify, last byte") << Operation::Verify << 255 << QByteArray("yvc");
    }
    void readAndVerifyCancelCleanly() {
        QFETCH(Operation, operation);
        QFETCH(int, atByte);
        QFETCH(QByteArray, sent);
        CoreBench b;
        b.model.SetEeprom(Pattern(512, 4));
        const QString path = b.Path("keep.bin");
        WriteFile(path, "old image");
        b.observer.readTarget = path;
        b.observer.onProgress = [&](const core::Progress& p) {
            const bool now = atByte >= 0 ? p.phase == Phase::Receiving && p.done == atByte
                                         : atByte == -2 && p.phase == Phase::Opening;
            if (now) {
                QVERIFY(p.cancellable);
                b.operations.Stop().RequestCancel();
            }
        };
        if (atByte == -1) {
            b.failing.afterWrite = [&](int writes) {
                if (writes == 2) { // the command letter
                    b.operations.Stop().RequestCancel();
                }
            };
        }
        const core::Outcome outcome = b.Run(operation, 'y');
        QCOMPARE(outcome.status, Status::Cancelled);
        QCOMPARE(b.Sent(), sent);
        QVERIFY(!b.port.PortOpen());
        QCOMPARE(ReadFile(path), QByteArray("old image"));
        QCOMPARE(QDir(b.files.path()).entryList(QDir::Files).size(), 1);

        // The next operation starts afresh and works.
        b.observer.onProgress = {};
        b.failing.afterWrite = {};
        b.clock.Advance(2000);
        const core::Outcome next = b.Run(Operation::Read, 'y');
        QCOMPARE(next.status, Status::Done);
        QCOMPARE(ReadFile(path), b.model.Block('y'));
    }

    void operationsThatWriteTheChipCannotBeCancelled_data() {
        QTest::addColumn<Operation>("operation");
        QTest::newRow("program") << Operation::Program;
        QTest::newRow("clear wpo") << Operation::ClearWpo;
        QTest::newRow("bulk erase") << Operation::BulkErase;
    }
    void operationsThatWriteTheChipCannotBeCancelled() {
        QFETCH(Operation, operation);
        CoreBench b;
        WriteFile(b.Path("f.bin"), Pattern(256, 1));
        b.observer.programSource = core::ImageSource{b.Path("f.bin"), std::nullopt};
        b.observer.onProgress = [&](const core::Progress& p) {
            if (p.phase == Phase::Sending || p.phase == Phase::Settling) {
                QVERIFY(!p.cancellable);
                b.operations.Stop().RequestCancel();
            }
        };
        QCOMPARE(b.Run(operation, 'y').status, Status::Done);

        // An abort (the program is closing) still ends it, and says the chip is unknown.
        b.observer.onProgress = [&](const core::Progress& p) {
            if (p.phase == Phase::Settling) {
                b.operations.Stop().RequestAbort();
            }
        };
        const core::Outcome aborted = b.Run(operation, 'y');
        QCOMPARE(aborted.status, Status::Aborted);
        QVERIFY(aborted.chipWritten);
        QVERIFY(!b.port.PortOpen());
    }

    void portFailures_data() {
        QTest::addColumn<Operation>("operation");
        QTest::addColumn<int>("failOnWrite");
        QTest::addColumn<int>("failOnRead");
        QTest::addColumn<int>("errorNumber");
        QTest::addColumn<bool>("chipWritten");
        QTest::newRow("read, at c") << Operation::Read << 3 << -1 << 8019 << false;
        QTest::newRow("read, mid-receive") << Operation::Read << -1 << 10 << 8020 << false;
        QTest::newRow("verify, error 5") << Operation::Verify << 2 << -1 << 5 << false;
        QTest::newRow("program, mid-data") << Operation::Program << 40 << -1 << 8019 << true;
        QTest::newRow("bulk erase, at the letter")
            << Operation::BulkErase << 2 << -1 << 8019 << true;
    }
    void portFailures() {
        QFETCH(Operation, operation);
        QFETCH(int, failOnWrite);
        QFETCH(int, failOnRead);
        QFETCH(int, errorNumber);
        QFETCH(bool, chipWritten);
        CoreBench b;
        WriteFile(b.Path("f.bin"), Pattern(256, 1));
        WriteFile(b.Path("keep.bin"), "keep");
        b.observer.programSource = core::ImageSource{b.Path("f.bin"), std::nullopt};
        b.observer.readTarget = b.Path("keep.bin");
        b.failing.failOnWrite = failOnWrite;
        b.failing.failOnRead = failOnRead;
        b.failing.errorNumber = errorNumber;
        // A slow adapter: a read fails while the block is still coming.
        b.model.Faults().msPerByte = failOnRead > 0 ? 150 : 0;
        const core::Outcome outcome = b.Run(operation, 'y');
        QCOMPARE(outcome.status, Status::PortError);
        QCOMPARE(outcome.errorNumber, errorNumber);
        QCOMPARE(outcome.chipWritten, chipWritten);
        QVERIFY(!b.port.PortOpen());
        QCOMPARE(ReadFile(b.Path("keep.bin")), QByteArray("keep"));
    }

    // A line that opens only after the port (a terminal server's): the family letter waits.
    void theFamilyLetterWaitsForTheLine() {
        CoreBench b;
        b.failing.opensInMs = 50;
        const double start = b.clock.NowMs();
        QCOMPARE(b.Run(Operation::ClearWpo, 'y').status, Status::Done);
        QVERIFY2(b.SentLog()[0].timeMs - start >= 49, qPrintable(QString::number(start)));
    }

    void hostCompareNamesTheDifferences() {
        CoreBench b;
        const QByteArray image = Pattern(256, 6);
        WriteFile(b.Path("f.bin"), image);
        b.observer.programSource = core::ImageSource{b.Path("f.bin"), std::nullopt};
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
};

QTEST_GUILESS_MAIN(CoreOperationsTest)
#include "tst_operations.moc"
