#pragma once

#include "BenchFolder.h"
#include "platform/FileDialogs.h"
#include "platform/MessageBoxes.h"
#include "platform/QtClock.h"
#include "platform/QtSettingsStore.h"
#include "platform/Services.h"

#include <QCoreApplication>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>
#include <optional>

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
        std::optional<QString> InputBox(const QString&, const QString&,
                                        const QString& value) override {
            return value;
        }
    };

    QTemporaryDir dir;
    platform::QtClock clock;
    Messages messages;
    Dialogs dialogs;
    platform::QtSettingsStore settings{dir.filePath(QStringLiteral("settings.ini"))};
    platform::Services services{clock, messages, dialogs, settings, nullptr};
};
