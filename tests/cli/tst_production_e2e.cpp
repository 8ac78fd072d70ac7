#include "AdapterTool.h"
#include "ImageFiles.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>

#ifdef JOURNAL_ON_POSTGRES
#include "PostgresServer.h"
#endif

// A line of benches: tms370 processes, each on its own adapter tool, sharing one journal (an
// SQLite file, or built with JOURNAL_ON_POSTGRES a PostgreSQL server of the test's own). Every
// adapter spoils its first PROGRAM, so each bench meets a failure.
class ProductionEndToEnd : public QObject {
    Q_OBJECT

#ifdef JOURNAL_ON_POSTGRES
    static constexpr int Benches = 2;
    PostgresServer server;
#else
    static constexpr int Benches = 4;
#endif
    QTemporaryDir dir;
    QString store;
    AdapterTool tools[Benches];
    QString ports[Benches];

    struct Run {
        std::unique_ptr<QProcess> process = std::make_unique<QProcess>();
        QByteArray out, err;
        int code = -1;
    };

    // Starts `tms370 program` with a serial number on bench b.
    std::unique_ptr<Run> Start(int b, const QStringList& more = {}) {
        auto run = std::make_unique<Run>();
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("XDG_DATA_HOME", dir.filePath("data"));
#ifdef JOURNAL_ON_POSTGRES
        environment.insert("PGPASSWORD", PostgresServer::Password);
#endif
        run->process->setProcessEnvironment(environment);
        run->process->start(QStringLiteral(TMS370_TOOL),
                            QStringList{"program", "-p", ports[b], "-d", "TMS370CX58A", "--fast",
                                        "-i", dir.filePath("image.bin"), "--journal", store,
                                        "--serial", "1FFEh:2", "--serial-start", "1"} +
                                more);
        run->process->waitForStarted(5000);
        return run;
    }

    // Waits for the run's stderr to hold words (the run goes on).
    static bool WaitFor(Run& run, const QByteArray& words) {
        QDeadlineTimer deadline(20000);
        while (!run.err.contains(words) && !deadline.hasExpired()) {
            run.process->waitForReadyRead(100);
            run.err += run.process->readAllStandardError();
        }
        return run.err.contains(words);
    }

    static void Finish(Run& run) {
        if (!run.process->waitForFinished(60000)) {
            run.process->kill();
            run.process->waitForFinished();
        }
        run.out += run.process->readAllStandardOutput();
        run.err += run.process->readAllStandardError();
        run.code = run.process->exitStatus() == QProcess::NormalExit ? run.process->exitCode() : -1;
        qInfo().noquote() << run.code << run.out.trimmed()
                          << run.err.trimmed().split('\n').last(); // the progress left out
    }

    // The number a verified chip got, from stdout; -1 for none.
    static int SerialOf(const Run& run) {
        const QRegularExpressionMatch match =
            QRegularExpression("^Programmed and verified TMS370C758A, serial (\\d+) \\(")
                .match(QString::fromUtf8(run.out));
        return match.hasMatch() ? match.captured(1).toInt() : -1;
    }

    // Runs one round: a chip on each of the given benches at once; the verified numbers.
    QList<int> Round(const QList<int>& benches, QList<int>* codes = nullptr) {
        std::vector<std::unique_ptr<Run>> runs;
        for (int b : benches) {
            runs.push_back(Start(b));
        }
        QList<int> serials;
        for (auto& run : runs) {
            Finish(*run);
            if (codes) {
                *codes << run->code;
            }
            if (run->code == 0) {
                serials << SerialOf(*run);
            }
        }
        std::sort(serials.begin(), serials.end());
        return serials;
    }

    QString Summary() {
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
#ifdef JOURNAL_ON_POSTGRES
        environment.insert("PGPASSWORD", PostgresServer::Password);
#endif
        process.setProcessEnvironment(environment);
        process.start(QStringLiteral(TMS370_TOOL), {"journal", "--journal", store, "--summary"});
        process.waitForFinished(20000);
        // The data line: "default  1  1  -  next  used  given back  held".
        return QString::fromUtf8(process.readAllStandardOutput()).split('\n').value(1).simplified();
    }

private slots:
    void initTestCase() {
#ifdef JOURNAL_ON_POSTGRES
        const QString why = server.Start();
        if (!why.isEmpty()) {
            QSKIP(qPrintable(why));
        }
        store = server.Url();
#else
        store = dir.filePath("journal.db");
#endif
        WriteFile(dir.filePath("image.bin"), Pattern(256));
        for (int b = 0; b < Benches; ++b) {
            ports[b] = tools[b].Start(QStringLiteral(ADAPTER_SIM_TOOL), {"--spoil", "1"});
            QVERIFY(ports[b].startsWith('/'));
        }
    }

    // Each bench's first chip fails and gives its number back; the next round hands the same
    // numbers out again, each to one chip.
    void benchesShareOneSeries() {
        QList<int> all;
        for (int b = 0; b < Benches; ++b) {
            all << b;
        }
        QList<int> codes;
        QCOMPARE(Round(all, &codes), QList<int>{});
        QCOMPARE(codes, QList<int>(Benches, 1));
        QList<int> expected;
        for (int n = 1; n <= Benches; ++n) {
            expected << n;
        }
        QCOMPARE(Round(all), expected);
        QCOMPARE(Summary(),
                 QStringLiteral("default 1 1 - %1 %2 0 0").arg(Benches + 1).arg(Benches));
    }

#ifndef JOURNAL_ON_POSTGRES
    // A bench killed mid-chip keeps its number: its own port takes it back when it starts
    // again, another bench once the lease has run out.
    void aKilledBench() {
        const int next = Benches + 1;
        auto first = Start(0);
        QVERIFY(WaitFor(*first, "waiting 11.7 s"));
        first->process->kill();
        first->process->waitForFinished();
        auto second = Start(1, {"--lease", "1"});
        QVERIFY(WaitFor(*second, "waiting 11.7 s"));
        second->process->kill();
        second->process->waitForFinished();
        QCOMPARE(Summary(), QStringLiteral("default 1 1 - %1 %2 0 2").arg(next + 2).arg(next - 1));
        QTest::qWait(1100);
        // Bench 0 again, and bench 2: numbers next and next + 1, one each, and none left held.
        QCOMPARE(Round({0, 2}), QList<int>({next, next + 1}));
        QCOMPARE(Summary(), QStringLiteral("default 1 1 - %1 %2 0 0").arg(next + 2).arg(next + 1));
    }
#else
    // The server stops while a chip settles: the chip's own result is told, the run ends 6, and
    // its number, used, is not handed out again once the server is back.
    void storeStoppedMidRun() {
        auto run = Start(0);
        QVERIFY(WaitFor(*run, "waiting 11.7 s"));
        server.Stop();
        Finish(*run);
        QCOMPARE(run->code, 6);
        const int used = SerialOf(*run);
        QCOMPARE(used, Benches + 1);
        QVERIFY(run->err.contains("tms370: journal: "));
        QVERIFY(server.Restart());
        // Bench 0 settles it as used when it starts again; bench 1, at the same time, finds it
        // held or used.
        QCOMPARE(Round({0, 1}), QList<int>({used + 1, used + 2}));
        QCOMPARE(Summary(), QStringLiteral("default 1 1 - %1 %2 0 0").arg(used + 3).arg(used + 2));
    }
#endif
};

QTEST_GUILESS_MAIN(ProductionEndToEnd)
#include "tst_production_e2e.moc"
