#pragma once

#include <QCoreApplication>
#include <QEvent>
#include <QObject>

// While it lives, the user's input to every window of the program is dropped and no window
// can be closed. A copy that yields to the event loop after each piece keeps its windows
// painted this way, and nothing the user does can pull the files from under it.
class InputBlocker : public QObject {
public:
    InputBlocker() { QCoreApplication::instance()->installEventFilter(this); }
    ~InputBlocker() override { QCoreApplication::instance()->removeEventFilter(this); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::Wheel:
        case QEvent::KeyPress:
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
};
