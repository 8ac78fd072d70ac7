#include "AdapterTool.h"
#include "ImageFiles.h"
#include "ToolRun.h"

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

    using Run = ToolRun;

    QStringList Environment(const QString& data = "data") const {
#ifdef JOURNAL_ON_POSTGRES
        return {"XDG_DATA_HOME=" + dir.filePath(data),
                QStringLiteral("PGPASSWORD=") + PostgresServer::Password};
#else
        return {"XDG_DATA_HOME=" + dir.filePath(data)};
#endif
    }

    // Starts `tms370 program` with a serial number on bench b, keeping what the journal misses
    // in data/tms370.
    std::unique_ptr<Run> Start(int b, const QStringList& more = {}, const QString& data = "data") {
        return std::make_unique<Run>(QStringList{"program", "-p", ports[b], "-d", "TMS370CX58A",
                                                 "--fast", "-i", dir.filePath("image.bin"),
                                                 "--journal", store, "--serial", "1FFEh:2",
                                                 "--serial-start", "1"} +
                                         more,
                                     Environment(data));
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
            run->Finish();
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

    // `tms370 journal` with options: its exit code, and its output in out.
    int Journal(const QStringList& options, QString* out = nullptr) {
        Run run(QStringList{"journal", "--journal", store} + options, Environment());
        run.Finish();
        if (out) {
            *out = QString::fromUtf8(run.out);
        }
        return run.code;
    }

    // The data line: "default  1  1  -  next  used  given back  held  two chips". No number
    // may be in two verified chips unless the journal says so: this line counts those it knows.
    QString Summary() {
        QString rows;
        Journal({"--format", "csv"}, &rows);
        QStringList verified;
        for (const QString& row : rows.split('\n')) {
            if (row.section(',', 10, 10) == "ok") {
                verified << row.section(',', 8, 9);
            }
        }
        QString summary;
        Journal({"--summary"}, &summary);
        summary = summary.split('\n').value(1).simplified();
        if (verified.removeDuplicates() > summary.section(' ', 8).toInt()) {
            return "a number in two verified chips, unmarked: " + rows;
        }
        return summary;
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
                 QStringLiteral("default 1 1 - %1 %2 0 0 0").arg(Benches + 1).arg(Benches));
    }

#ifndef JOURNAL_ON_POSTGRES
    // A bench killed mid-chip may have numbered its chip: its number stays held, for its own
    // port as for the others, until a person settles it once its lease has run out.
    void aKilledBench() {
        const int next = Benches + 1;
        auto first = Start(0);
        QVERIFY(first->WaitFor("waiting 11.7 s"));
        first->process.kill();
        first->process.waitForFinished();
        auto second = Start(1, {"--lease", "1"});
        QVERIFY(second->WaitFor("waiting 11.7 s"));
        second->process.kill();
        second->process.waitForFinished();
        QCOMPARE(Round({0, 2}), QList<int>({next + 2, next + 3}));
        QCOMPARE(Journal({"--settle", QString::number(next + 1) + ":free"}), 0);
        QCOMPARE(Journal({"--settle", QString::number(next) + ":free"}), 64); // its lease runs
        QCOMPARE(Summary(), QStringLiteral("default 1 1 - %1 %1 1 1 0").arg(next + 1));
    }
#else
    // The server restarts while two chips settle: the chips' own results are told and the
    // runs end 6. One bench keeps its result for its next run; the other cannot keep it (no
    // data folder can be made) and says that its number stays held for a person. Neither
    // number goes to another chip.
    void storeStoppedMidRun() {
        auto kept = Start(0);
        auto lost = Start(1, {"--lease", "1"}, "image.bin/data");
        QVERIFY(kept->WaitFor("waiting 11.7 s") && lost->WaitFor("waiting 11.7 s"));
        server.Stop();
        QVERIFY(server.Restart());
        kept->Finish();
        lost->Finish();
        QCOMPARE(kept->code, 6);
        QCOMPARE(lost->code, 6);
        QVERIFY(kept->err.contains("It is kept in "));
        const int held = SerialOf(*lost);
        QVERIFY2(lost->err.contains(
                     QString("it could not be kept either (%1").arg(dir.path()).toUtf8()) &&
                     lost->err.contains(QString("serial %1 of series 'default' stays held in the "
                                                "journal, and this chip, which verified, holds it")
                                            .arg(held)
                                            .toUtf8()),
                 lost->err.constData());
        QCOMPARE(Round({0, 1}), QList<int>({Benches + 3, Benches + 4}));
        QCOMPARE(Journal({"--settle", QString::number(held) + ":used"}), 0);
        QCOMPARE(Summary(),
                 QStringLiteral("default 1 1 - %1 %2 0 0 0").arg(Benches + 5).arg(Benches + 4));
    }

    // The server freezes while a chip settles: a signal ends the wait at once, the result is
    // kept, and its number goes to no other chip.
    void frozenStore() {
        auto run = Start(0, {"--store-timeout", "600"});
        QVERIFY(run->WaitFor("waiting 11.7 s"));
        server.Freeze(true);
        auto thaw = qScopeGuard([&] { server.Freeze(false); });
        while (!run->out.contains("Programmed and verified") &&
               run->process.waitForReadyRead(20000)) {
            run->out += run->process.readAllStandardOutput();
        }
        QTest::qWait(300); // into the wait for the server
        ::kill(pid_t(run->process.processId()), SIGTERM);
        run->Finish();
        QVERIFY2(run->err.contains("a signal ended the wait for the journal's server). It is kept"),
                 run->err.constData());
        thaw.dismiss();
        server.Freeze(false);
        QCOMPARE(Round({0}), QList<int>{SerialOf(*run) + 1});
        QCOMPARE(Summary(),
                 QStringLiteral("default 1 1 - %1 %2 0 0 0").arg(Benches + 7).arg(Benches + 6));
    }
#endif
};

QTEST_GUILESS_MAIN(ProductionEndToEnd)
#include "tst_production_e2e.moc"
