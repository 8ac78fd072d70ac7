#pragma once

#include "MessageBoxes.h"

namespace platform {

class QtMessageBoxes : public MessageBoxes {
public:
    explicit QtMessageBoxes(QString standardTitle) : standardTitle_(std::move(standardTitle)) {}
    int MsgBox(const QString& prompt, int style, const QString& title) override;
    std::optional<QString> InputBox(const QString& prompt, const QString& title,
                                    const QString& value) override;

private:
    QString standardTitle_;
};

} // namespace platform
