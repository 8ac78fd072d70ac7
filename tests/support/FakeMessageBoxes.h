#pragma once

#include "platform/MessageBoxes.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

// Records every box shown and answers from a script (OK, or the next queued answer).
class FakeMessageBoxes : public platform::MessageBoxes {
public:
    struct Box {
        QString prompt;
        int style;
        QString title;
    };

    int MsgBox(const QString& prompt, int style, const QString& title) override {
        shown.append({prompt, style, title});
        if (onShow) {
            onShow(shown.last());
        }
        if (!answers.isEmpty()) {
            return answers.takeFirst();
        }
        // Unanswered, a question gets its safe answer.
        switch (style & 0x0F) {
        case platform::MsgStyle::YesNo:
            return platform::MsgAnswer::No;
        case platform::MsgStyle::OKCancel:
        case platform::MsgStyle::YesNoCancel:
            return platform::MsgAnswer::Cancel;
        default:
            return platform::MsgAnswer::OK;
        }
    }

    // Records the prompt among the boxes shown (style -1) and answers with the next input
    // queued; none (Cancel) when there is none.
    std::optional<QString> InputBox(const QString& prompt, const QString& title,
                                    const QString&) override {
        shown.append({prompt, -1, title});
        if (onShow) {
            onShow(shown.last());
        }
        if (inputs.isEmpty()) {
            return std::nullopt;
        }
        return inputs.takeFirst();
    }

    QList<Box> shown;
    QStringList inputs;
    QList<int> answers;
    std::function<void(const Box&)> onShow; // runs while the box is "up"
};
