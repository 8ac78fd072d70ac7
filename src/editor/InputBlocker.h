#pragma once

#include <QCoreApplication>
#include <QEvent>
#include <QKeyEvent>
#include <QObject>
#include <QPointer>
#include <QWidget>
#include <functional>

// While it lives, the user's input to every window of the program is dropped and no window
// can be closed. A copy that yields to the event loop after each piece keeps its windows
// painted this way, and nothing the user does can pull the files from under it. A work
// that may be stopped names its Stop button, which still takes clicks, and what Escape
// does. A box shown meanwhile must take the user's answer: the blocker is lifted while it is
// up.
class InputBlocker : public QObject {
public:
    explicit InputBlocker(QWidget* stopButton = nullptr, std::function<void()> onEscape = {})
        : stopButton_(stopButton), onEscape_(std::move(onEscape)) {
        QCoreApplication::instance()->installEventFilter(this);
    }
    ~InputBlocker() override { QCoreApplication::instance()->removeEventFilter(this); }

    // The user's input goes through until Restore (calls may nest).
    void Lift() {
        if (lifted_++ == 0) {
            QCoreApplication::instance()->removeEventFilter(this);
        }
    }
    void Restore() {
        if (--lifted_ == 0) {
            QCoreApplication::instance()->installEventFilter(this);
        }
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
            return !(stopButton_ && watched == stopButton_.data());
        case QEvent::KeyPress:
            if (onEscape_ && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
                onEscape_();
            }
            return true;
        case QEvent::Wheel:
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
        case QEvent::Shortcut:
            return true;
        case QEvent::Close:
            event->ignore(); // a consumed close that stays accepted would still close
            return true;
        default:
            return QObject::eventFilter(watched, event);
        }
    }

private:
    QPointer<QWidget> stopButton_;
    std::function<void()> onEscape_;
    int lifted_ = 0;
};
