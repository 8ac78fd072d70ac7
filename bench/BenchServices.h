#pragma once

#include "platform/FileDialogs.h"
#include "platform/MessageBoxes.h"
#include "platform/QtClock.h"
#include "platform/QtSettingsStore.h"
#include "platform/Services.h"

#include <QCoreApplication>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>
#include <cstdio>
#include <optional>
#include <sys/resource.h>

// The real clock with scripted dialogs and boxes, so a benchmark drives the Memory window
// as a user would without anyone at the keyboard.
struct BenchServices {
    struct Dialogs : platform::FileDialogs {
        QStringList answers;
        std::optional<QString> ShowOpen(const platform::FileDialogOptions&) override {
            if (answers.isEmpty()) {
                return std::nullopt;
            }
            return answers.takeFirst();
        }
        std::optional<QString> ShowSave(const platform::FileDialogOptions&) override {
            return std::nullopt;
        }
    };
    struct Messages : platform::MessageBoxes {
        int shown = 0;
        QList<int> answers; // taken in order; then Yes to a question, OK to the rest
        int MsgBox(const QString&, int style, const QString&) override {
            ++shown;
            if (!answers.isEmpty()) {
                return answers.takeFirst();
            }
            const int buttons = style & 0x0F;
            return buttons == platform::MsgStyle::YesNo ||
                           buttons == platform::MsgStyle::YesNoCancel
                       ? platform::MsgAnswer::Yes
                       : platform::MsgAnswer::OK;
        }
    };

    QTemporaryDir dir;
    platform::QtClock clock;
    Messages messages;
    Dialogs dialogs;
    platform::QtSettingsStore settings{dir.filePath(QStringLiteral("settings.ini"))};
    platform::Services services{clock, messages, dialogs, settings, nullptr};
};

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
