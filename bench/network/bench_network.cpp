// tms370 through ser2net on loopback, raw and RFC 2217, to the adapter tool on
// pseudo-terminals: the five-letter protocol's waits against its floor, a fast READ against
// the line's limit, a gang of four against one, and the processor time of each run.
// Usage: bench_network [--fast-only]
#include "AdapterTool.h"
#include "ToolRuns.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <array>
#include <cstdio>
#include <sys/resource.h>

namespace {

constexpr double LineLimitMs = 30 + 512 * 10 * 1000.0 / 9600;
constexpr double ProgramFloorMs = 10 + 10 + 40 + 512 * 2 + 23400;
constexpr double ReceiveFloorMs = 10 + 10 + 10 + 200 + 512 * 75;

quint16 FreePort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

using Run = bench::ToolRun;

Run Together(const std::vector<QStringList>& runs) {
    return bench::RunTogether(QStringLiteral(TMS370_TOOL), runs);
}

void Print(const char* what, const Run& run, double reference, const char* name) {
    std::printf("%-28s %9.1f ms  %s %9.1f ms  ratio %.4f  cpu %.3f s (%.2f%% of a core)\n", what,
                run.ms, name, reference, run.ms / reference, run.cpu,
                100.0 * run.cpu * 1000.0 / run.ms);
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const bool fastOnly = app.arguments().contains(QStringLiteral("--fast-only"));
    QTemporaryDir dir;
    std::array<AdapterTool, 4> tools;
    std::array<quint16, 4> raw{}, rfc{};
    QString config;
    for (size_t i = 0; i < tools.size(); ++i) {
        const QString tty = tools[i].Start(QStringLiteral(ADAPTER_SIM_TOOL), {});
        if (tty.isEmpty()) {
            std::fprintf(stderr, "the adapter tool did not start\n");
            return 1;
        }
        raw[i] = FreePort();
        rfc[i] = FreePort();
        // One serial port, two accepters: only one session holds the port at a time.
        config +=
            QStringLiteral("connection: &raw%1\n  accepter: tcp,127.0.0.1,%2\n"
                           "  connector: serialdev,%3,9600n81,local\n"
                           "connection: &rfc%1\n  accepter: telnet(rfc2217),tcp,127.0.0.1,%4\n"
                           "  connector: serialdev,%3,9600n81,local\n")
                .arg(i)
                .arg(raw[i])
                .arg(tty)
                .arg(rfc[i]);
    }
    QFile file(dir.filePath("ser2net.yaml"));
    file.open(QIODevice::WriteOnly);
    file.write(config.toUtf8());
    file.close();
    QProcess ser2net;
    ser2net.start(QStringLiteral("ser2net"), {"-n", "-d", "-u", "-c", file.fileName()});
    if (!ser2net.waitForStarted(5000)) {
        std::fprintf(stderr, "ser2net did not start (scripts/setup installs it)\n");
        return 1;
    }
    QThread::msleep(500);
    const QString image = dir.filePath("image.bin");
    QFile f(image);
    f.open(QIODevice::WriteOnly);
    for (int i = 0; i < 512; ++i) {
        f.putChar(char(i * 7)); // FFh among them: doubled on an RFC 2217 line
    }
    f.close();
    const auto net = [&](int i) { return QStringLiteral("net:127.0.0.1:%1").arg(raw[i]); };
    const auto telnet = [&](int i) {
        return QStringLiteral("rfc2217://127.0.0.1:%1?dsr=ignore").arg(rfc[i]);
    };

    std::printf("512-byte block (family x), tms370 through ser2net on loopback\n");
    Together({{"read", "-p", net(0), "-d", "x", "-o", dir.filePath("warm.bin"), "--fast", "-q"}});
    for (const auto& [name, port] : {std::pair{"raw", net(0)}, std::pair{"RFC 2217", telnet(0)}}) {
        if (!fastOnly) {
            Print(qPrintable(QStringLiteral("%1 PROGRAM").arg(name)),
                  Together({{"program", "-p", port, "-d", "x", "-i", image, "--no-verify", "-q"}}),
                  ProgramFloorMs, "floor");
            Print(qPrintable(QStringLiteral("%1 READ").arg(name)),
                  Together({{"read", "-p", port, "-d", "x", "-o", dir.filePath("r.bin"), "-q"}}),
                  ReceiveFloorMs, "floor");
            Print(qPrintable(QStringLiteral("%1 VERIFY").arg(name)),
                  Together({{"verify", "-p", port, "-d", "x", "-q"}}), ReceiveFloorMs, "floor");
        }
        std::vector<double> fast;
        Run last{};
        for (int k = 0; k < 5; ++k) {
            last = Together(
                {{"read", "-p", port, "-d", "x", "-o", dir.filePath("f.bin"), "--fast", "-q"}});
            fast.push_back(last.ms);
        }
        std::sort(fast.begin(), fast.end());
        Print(qPrintable(QStringLiteral("%1 fast READ (median of 5)").arg(name)),
              {fast[2], last.cpu}, LineLimitMs, "line ");
    }
    if (!fastOnly) {
        const auto program = [&](const QString& port) {
            return QStringList{"program", "-p", port, "-d", "x", "-i", image, "--fast", "-q"};
        };
        const Run one = Together({program(telnet(0))});
        const Run four = Together(
            {program(telnet(0)), program(telnet(1)), program(telnet(2)), program(telnet(3))});
        std::printf("gang over RFC 2217: one %.1f ms, four %.1f ms, ratio %.4f (target <= 1.1)\n",
                    one.ms, four.ms, four.ms / one.ms);
    }
    ser2net.terminate();
    ser2net.waitForFinished(3000);
    return 0;
}
