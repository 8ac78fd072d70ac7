#pragma once

#include <QPushButton>

// A push button whose caption wraps onto further lines when it is wider than the button,
// the way the program's narrow operation buttons show "PROGRAM" over its arrow.
class CommandButton : public QPushButton {
public:
    using QPushButton::QPushButton;

protected:
    void paintEvent(QPaintEvent* event) override;
};
