// tms370-adapter-sim: a simulated programming adapter on a pseudo-terminal. Prints the
// terminal's path on its first line, then serves until it is killed. Point a port item at
// the path (VIDAVEV_COMM1=/dev/pts/N, or settings section Ports) to use it.
#include "AdapterModel.h"
#include "PseudoTerminal.h"
#include "PtyAdapterServer.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QTextStream>
#include <cstdio>
#include <system_error>

using adaptersim::AdapterModel;

namespace {

int Fail(const QString& message) {
    QTextStream(stderr) << "tms370-adapter-sim: " << message << Qt::endl;
    return 2;
}

bool ReadNumber(const QCommandLineParser& parser, const QString& name, double& value) {
    if (!parser.isSet(name)) {
        return true;
    }
    bool ok = false;
    value = parser.value(name).toDouble(&ok);
    return ok && value >= 0;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tms370-adapter-sim"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TMS370_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("A simulated TMS370 programming adapter on a pseudo-terminal. The "
                       "terminal's path is printed on the first line of output."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOptions({
        {QStringLiteral("eeprom"), QStringLiteral("Load the 512-byte EEPROM from <file>."),
         QStringLiteral("file")},
        {QStringLiteral("log"), QStringLiteral("Write every byte on the line to <file>."),
         QStringLiteral("file")},
        {QStringLiteral("silent"), QStringLiteral("Never answer.")},
        {QStringLiteral("slow"), QStringLiteral("Send replies <ms> apart."), QStringLiteral("ms")},
        {QStringLiteral("stop-after"), QStringLiteral("End each data phase after <k> bytes."),
         QStringLiteral("k")},
        {QStringLiteral("mismatch-at"),
         QStringLiteral("VERIFY reports a mismatch at byte <k> (from 0)."), QStringLiteral("k")},
        {QStringLiteral("worn-at"),
         QStringLiteral("PROGRAM leaves byte <k> (from 0) of the block 00h."), QStringLiteral("k")},
        {QStringLiteral("stuck-at"),
         QStringLiteral("BULK ERASE leaves byte <k> (from 0 at 1E00h) as it was."),
         QStringLiteral("k")},
        {QStringLiteral("spoil"),
         QStringLiteral("The PROGRAMs numbered in <list> (from 1, as 2,5) store the block's "
                        "first byte inverted, so their read-back fails."),
         QStringLiteral("list")},
    });
    parser.process(app);

    AdapterModel model;
    adaptersim::AdapterFaults& faults = model.Faults();
    faults.silent = parser.isSet(QStringLiteral("silent"));
    double slow = 0, stopAfter = -1, mismatchAt = -1, wornAt = -1, stuckAt = -1;
    if (!ReadNumber(parser, QStringLiteral("slow"), slow) ||
        !ReadNumber(parser, QStringLiteral("stop-after"), stopAfter) ||
        !ReadNumber(parser, QStringLiteral("mismatch-at"), mismatchAt) ||
        !ReadNumber(parser, QStringLiteral("worn-at"), wornAt) ||
        !ReadNumber(parser, QStringLiteral("stuck-at"), stuckAt)) {
        return Fail(QStringLiteral(
            "--slow, --stop-after, --mismatch-at, --worn-at and --stuck-at take a number >= 0"));
    }
    faults.msPerByte = slow;
    faults.stopAfter = int(stopAfter);
    faults.mismatchAt = int(mismatchAt);
    faults.wornAt = int(wornAt);
    faults.stuckAt = int(stuckAt);
    if (parser.isSet(QStringLiteral("spoil"))) {
        for (const QString& item :
             parser.value(QStringLiteral("spoil")).split(QLatin1Char(','), Qt::SkipEmptyParts)) {
            bool ok = false;
            const int n = item.toInt(&ok);
            if (!ok || n < 1) {
                return Fail(QStringLiteral("--spoil takes PROGRAM numbers from 1, as 2,5"));
            }
            faults.spoiledPrograms.push_back(n);
        }
    }

    if (parser.isSet(QStringLiteral("eeprom"))) {
        QFile image(parser.value(QStringLiteral("eeprom")));
        if (!image.open(QIODevice::ReadOnly)) {
            return Fail(
                QStringLiteral("cannot read %1: %2").arg(image.fileName(), image.errorString()));
        }
        model.SetEeprom(image.read(AdapterModel::EepromSize));
    }

    QFile log;
    if (parser.isSet(QStringLiteral("log"))) {
        log.setFileName(parser.value(QStringLiteral("log")));
        if (!log.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text)) {
            return Fail(
                QStringLiteral("cannot write %1: %2").arg(log.fileName(), log.errorString()));
        }
        // Line by line, so the log is complete whenever the tool is killed.
        model.SetWireObserver([&log](const adaptersim::WireByte& wire) {
            log.write(adaptersim::FormatWireByte(wire).toUtf8() + '\n');
            log.flush();
        });
    }

    try {
        adaptersim::PseudoTerminal terminal;
        adaptersim::PtyAdapterServer server(model, terminal.MasterFd());
        std::printf("%s\n", qPrintable(terminal.SlavePath()));
        std::fflush(stdout);
        return app.exec();
    } catch (const std::system_error& error) {
        return Fail(
            QStringLiteral("no pseudo-terminal: %1").arg(QString::fromLocal8Bit(error.what())));
    }
}
