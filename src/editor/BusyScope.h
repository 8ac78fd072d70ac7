#pragma once

#include "InputBlocker.h"

#include <QApplication>

// Marks the window busy with a copy or a search for as long as it lives: the user's input
// is blocked (but for a Stop button and Escape, where the work can be stopped) and the
// pointer shows the wait.
class BusyScope {
public:
    explicit BusyScope(bool& busy, QWidget* stopButton = nullptr,
                       std::function<void()> onEscape = {})
        : busy_(busy), blocker_(stopButton, std::move(onEscape)) {
        busy_ = true;
        QApplication::setOverrideCursor(Qt::WaitCursor);
    }
    ~BusyScope() {
        QApplication::restoreOverrideCursor();
        busy_ = false;
    }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

    // While a box or a dialog is up inside the work: the user's input reaches it (else it
    // could never be answered) and the pointer is the usual one.
    void Lift() {
        blocker_.Lift();
        QApplication::restoreOverrideCursor();
    }
    void Restore() {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        blocker_.Restore();
    }

private:
    bool& busy_;
    InputBlocker blocker_;
};
