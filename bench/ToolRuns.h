#pragma once

#include <QElapsedTimer>
#include <QProcess>
#include <QStringList>
#include <cstdio>
#include <memory>
#include <sys/resource.h>
#include <vector>

// tms370 run as whole processes, side by side, for the benchmarks that time them.
namespace bench {

// Processor time of the ended child processes so far, in seconds.
inline double ChildCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

struct ToolRun {
    double ms;  // wall time until the last process ended
    double cpu; // processor time a process, in seconds
};

// Runs the tool on each argument list at once; a run that fails is said on stderr.
inline ToolRun RunTogether(const QString& tool, const std::vector<QStringList>& runs) {
    std::vector<std::unique_ptr<QProcess>> processes;
    const double cpu0 = ChildCpuSeconds();
    QElapsedTimer wall;
    wall.start();
    for (const QStringList& arguments : runs) {
        processes.push_back(std::make_unique<QProcess>());
        processes.back()->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        processes.back()->start(tool, arguments);
    }
    for (auto& process : processes) {
        process->waitForFinished(300000);
        if (process->exitStatus() != QProcess::NormalExit || process->exitCode() != 0) {
            std::fprintf(stderr, "a run failed: exit %d\n", process->exitCode());
        }
    }
    return {wall.nsecsElapsed() / 1e6, (ChildCpuSeconds() - cpu0) / double(runs.size())};
}

} // namespace bench
