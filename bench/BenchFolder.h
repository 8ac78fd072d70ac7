#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QFile>
#include <QString>
#include <algorithm>
#include <cstdio>
#include <optional>
#include <sys/resource.h>
#include <vector>

inline double Seconds(const QElapsedTimer& timer) {
    return timer.nsecsElapsed() / 1e9;
}

inline double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Peak resident memory of this process so far, in MiB.
inline double PeakRssMiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024.0;
}

// The folder for a benchmark's big files, from its first argument; the working image goes
// there too. Prints the usage and gives nothing when the argument is missing.
inline std::optional<QString> BenchFolder(int argc, char* argv[]) {
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <folder>\n", argv[0]);
        return std::nullopt;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    qputenv("TMPDIR", QFile::encodeName(folder));
    return folder;
}
