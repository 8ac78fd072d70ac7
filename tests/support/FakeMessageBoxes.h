#pragma once

#include "platform/MessageBoxes.h"

#include <QList>
#include <QString>
#include <functional>

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
        switch (style & 0x0F) {
        case platform::MsgStyle::YesNo:
            return platform::MsgAnswer::No;
        case platform::MsgStyle::YesNoCancel:
            return platform::MsgAnswer::Cancel;
        default:
            return platform::MsgAnswer::OK;
        }
    }

    QList<Box> shown;
    QList<int> answers;
    std::function<void(const Box&)> onShow; // runs while the box is "up"
};
