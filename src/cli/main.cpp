// tms370: reads, programs, verifies and erases the data EEPROM of TMS370-family chips from a
// shell, a Makefile or a CI job. `tms370 --help` tells how.
#include "CommandLine.h"
#include "Interrupts.h"
#include "Tool.h"
#include "platform/QtClock.h"
#include "platform/QtSettingsStore.h"

#include <QCoreApplication>
#include <QTextStream>
#include <cstdio>
#include <unistd.h>

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tms370"));
    QCoreApplication::setApplicationVersion(QLatin1String(cli::ToolVersion));

    platform::QtClock clock;
    platform::QtSettingsStore settings;
    QTextStream out(stdout);
    QTextStream err(stderr);
    cli::Interrupts interrupts(err);
    cli::ToolServices services{
        clock, settings, out, err, nullptr, &interrupts, ::isatty(STDERR_FILENO) == 1};
    services.inFd = STDIN_FILENO;
    return cli::RunTool(QCoreApplication::arguments().mid(1), services);
}
