#pragma once

#include "platform/MessageBoxes.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

// Records every box shown (an input box with style -1) and answers from a script: the next
// queued answer or input, else OK, a question's safe answer, or (for an input) Cancel.
class FakeMessageBoxes : public platform::MessageBoxes {
public:
    struct Box {
        QString prompt;
        int style;
        QString title;
    };

    int MsgBox(const QString& prompt, int style, const QString& title) override {
        Show({prompt, style, title});
        if (!answers.isEmpty()) {
            return answers.takeFirst();
        }
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
    std::optional<QString> InputBox(const QString& prompt, const QString& title,
                                    const QString&) override {
        Show({prompt, -1, title});
        return inputs.isEmpty() ? std::nullopt : std::optional<QString>(inputs.takeFirst());
    }

    QList<Box> shown;
    QStringList inputs;
    QList<int> answers;
    std::function<void(const Box&)> onShow; // runs while the box is "up"

private:
    void Show(const Box& box) {
        shown.append(box);
        if (onShow) {
            onShow(box);
        }
    }
};
