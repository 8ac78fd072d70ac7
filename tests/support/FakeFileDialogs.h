#pragma once

#include "platform/FileDialogs.h"

#include <QList>
#include <optional>

// Answers the dialogs from a script: a path, or nullopt (and an empty queue) for cancel.
class FakeFileDialogs : public platform::FileDialogs {
public:
    std::optional<QString> ShowOpen(const platform::FileDialogOptions& options) override {
        opens.append(options);
        return Next();
    }
    std::optional<QString> ShowSave(const platform::FileDialogOptions& options) override {
        saves.append(options);
        return Next();
    }

    QList<std::optional<QString>> answers;
    QList<platform::FileDialogOptions> opens;
    QList<platform::FileDialogOptions> saves;
    std::optional<QString> Next() {
        return Chosen(answers.isEmpty() ? std::nullopt : answers.takeFirst());
    }
};
