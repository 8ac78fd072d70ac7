// What the production journal costs a chip. In process, on the simulated adapter and the
// virtual clock (so the chip itself takes no time): `program --fast` with a serial number and a
// journal against the same without, pairs interleaved in one run, on an SQLite file and on a
// PostgreSQL server over loopback. Then whole tms370 processes on pseudo-terminals against the
// adapter tool: four benches sharing one PostgreSQL series against one bench alone.
#include "AdapterTool.h"
#include "FakeClock.h"
#include "ImageFiles.h"
#include "PostgresServer.h"
#include "adaptersim/AdapterModel.h"
#include "cli/Tool.h"
#include "platform/QtSettingsStore.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextStream>
#include <algorithm>
#include <cstdio>

namespace {

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

struct InProcess {
    FakeClock clock;
    adaptersim::AdapterModel model;
    QString out, err;
    QTextStream outStream{&out}, errStream{&err};
    platform::QtSettingsStore settings;
    cli::ToolServices services{clock, settings, outStream, errStream, &model};

    explicit InProcess(const QString& ini) : settings(ini) {}

    // Wall time of one run, in ms; exits on a failed run.
    double Run(const QStringList& arguments) {
        QElapsedTimer wall;
        wall.start();
        const int code = cli::RunTool(arguments, services);
        const double ms = wall.nsecsElapsed() / 1e6;
        if (code != 0) {
            std::fprintf(stderr, "exit %d: %s\n", code, qPrintable(err));
            std::exit(1);
        }
        return ms;
    }
};

// Per chip: the median of (with journal - without) over pairs run one after the other.
void CostPerChip(InProcess& tool, const QString& image, const QString& store, const char* name,
                 int pairs) {
    const QStringList plain = {"program", "-p",     "sim", "-d", "TMS370CX56A",
                               "-q",      "--fast", "-i",  image};
    const QStringList journal = plain + QStringList{"--serial",       "1FFCh:4", "--journal", store,
                                                    "--serial-start", "1",       "--series",  name};
    const double first = tool.Run(journal); // opens the driver's plugin: once per process
    std::vector<double> with, without, differences;
    for (int i = 0; i < pairs; ++i) {
        without.push_back(tool.Run(plain));
        with.push_back(tool.Run(journal));
        differences.push_back(with.back() - without.back());
    }
    std::printf("%-10s chip without journal %.2f ms, with %.2f ms: journal %.2f ms a chip "
                "(median of %d pairs); first run in the process %.1f ms\n",
                name, Median(without), Median(with), Median(differences), pairs, first);
}

// A `program --repeat` session of chips on one journal connection: per chip, the median over
// sessions of (with journal - without) / chips.
void SessionCostPerChip(InProcess& tool, const QString& image, const QString& store,
                        const char* name, int chips, int sessions) {
    const QStringList plain = {"program", "-p",     "sim", "-d",  "TMS370CX56A",
                               "-q",      "--fast", "-i",  image, "--repeat"};
    const QStringList journal = plain + QStringList{"--serial",       "1FFCh:4", "--journal", store,
                                                    "--serial-start", "1",       "--series",  name};
    auto session = [&](const QStringList& arguments) {
        QString lines = QString(QLatin1Char('\n')).repeated(chips - 1);
        QTextStream in(&lines);
        tool.services.in = &in;
        const double ms = tool.Run(arguments);
        tool.services.in = nullptr;
        return ms;
    };
    session(journal);
    std::vector<double> differences;
    for (int i = 0; i < sessions; ++i) {
        const double without = session(plain);
        differences.push_back((session(journal) - without) / chips);
    }
    std::printf("%-10s --repeat session of %d chips: journal %.2f ms a chip (median of %d "
                "sessions)\n",
                name, chips, Median(differences), sessions);
}

// Whole processes: each bench programs chips one after the other; the wall time of all.
double Line(const std::vector<QString>& ports, const QString& image, const QString& store,
            int chips) {
    QElapsedTimer wall;
    wall.start();
    std::vector<std::unique_ptr<QProcess>> benches;
    // Each bench is a shell loop, so the benches start their chips independently.
    for (const QString& port : ports) {
        QString script;
        for (int i = 0; i < chips; ++i) {
            script += QStringLiteral(
                          "\"%1\" program -p %2 -d TMS370CX58A -q --fast -i %3 "
                          "--serial 1FFEh:2 --journal %4 --serial-start 1 >/dev/null || exit 1;")
                          .arg(QStringLiteral(TMS370_TOOL), port, image, store);
        }
        benches.push_back(std::make_unique<QProcess>());
        benches.back()->setProcessChannelMode(QProcess::ForwardedChannels);
        benches.back()->start(QStringLiteral("sh"), {"-c", script});
    }
    for (auto& bench : benches) {
        bench->waitForFinished(-1);
        if (bench->exitCode() != 0) {
            std::fprintf(stderr, "a bench failed\n");
        }
    }
    return wall.nsecsElapsed() / 1e6;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QStandardPaths::setTestModeEnabled(true);
    const int pairs = argc > 1 ? std::max(1, atoi(argv[1])) : 41;
    const int chips = argc > 2 ? std::max(1, atoi(argv[2])) : 3;
    QTemporaryDir dir;
    const QString image512 = dir.filePath("image512.bin");
    const QString image256 = dir.filePath("image256.bin");
    WriteFile(image512, Pattern(512));
    WriteFile(image256, Pattern(256));

    PostgresServer server;
    const QString why = server.Start(true); // fsync on, as a real server
    if (!why.isEmpty()) {
        std::fprintf(stderr, "no PostgreSQL: %s\n", qPrintable(why));
        return 1;
    }
    qputenv("PGPASSWORD", PostgresServer::Password);

    std::printf("journal cost per chip, in process on the simulated adapter and virtual clock\n");
    InProcess tool(dir.filePath("settings.ini"));
    CostPerChip(tool, image512, dir.filePath("journal.db"), "SQLite", pairs);
    CostPerChip(tool, image512, server.Url(), "PostgreSQL", pairs);
    SessionCostPerChip(tool, image512, dir.filePath("session.db"), "SQLite", 20, 9);
    SessionCostPerChip(tool, image512, server.Url(), "PostgreSQL", 20, 9);

    std::printf("tms370 processes on pseudo-terminals, %d chips a bench (TMS370CX58A, 11.7 s "
                "settle each), one PostgreSQL series\n",
                chips);
    std::vector<AdapterTool> tools(4);
    std::vector<QString> ports;
    for (AdapterTool& adapter : tools) {
        ports.push_back(adapter.Start(QStringLiteral(ADAPTER_SIM_TOOL), {}));
    }
    const QString store = server.Url();
    const double one = Line({ports[0]}, image256, store, chips);
    const double four = Line(ports, image256, store, chips);
    std::printf("one bench %.0f ms, four benches %.0f ms: %.4f of one\n", one, four, four / one);
    return 0;
}
