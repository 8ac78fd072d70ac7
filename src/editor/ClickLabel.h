#pragma once

#include <QLabel>
#include <QMouseEvent>

// A label that reports a click (a left button pressed and released over it).
class ClickLabel : public QLabel {
    Q_OBJECT

public:
    using QLabel::QLabel;

signals:
    void Click();

protected:
    void mousePressEvent(QMouseEvent* event) override {
        pressed_ = event->button() == Qt::LeftButton;
        event->accept();
    }
    void mouseReleaseEvent(QMouseEvent* event) override {
        const bool click = pressed_ && event->button() == Qt::LeftButton &&
                           rect().contains(event->position().toPoint());
        pressed_ = false;
        event->accept();
        if (click && isEnabled()) {
            emit Click();
        }
    }

private:
    bool pressed_ = false;
};
