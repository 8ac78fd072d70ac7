#pragma once

#include "MessageBoxes.h"

namespace platform {

class QtMessageBoxes : public MessageBoxes {
public:
    explicit QtMessageBoxes(QString standardTitle) : standardTitle_(std::move(standardTitle)) {}
    int MsgBox(const QString& prompt, int style, const QString& title) override;

private:
    QString standardTitle_;
};

} // namespace platform
