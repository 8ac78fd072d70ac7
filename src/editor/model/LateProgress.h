#pragma once

#include "EditorObserver.h"

#include <QString>

// Stoppable work that shows its progress only once it outlasts its first piece: a search or a
// compare that ends at once does not flash the progress bar.
class LateProgress {
public:
    LateProgress(EditorObserver& observer, QString caption)
        : observer_(observer), caption_(std::move(caption)) {}
    ~LateProgress() {
        if (shown_) {
            observer_.WorkOver();
        }
    }
    LateProgress(const LateProgress&) = delete;
    LateProgress& operator=(const LateProgress&) = delete;
    // The share done; false when the user stopped the work or the program is ending.
    bool operator()(int percent) {
        if (!shown_) {
            observer_.WorkStarts(caption_, true);
            shown_ = true;
        }
        return observer_.WorkProgress(percent) && !observer_.Ending();
    }

private:
    EditorObserver& observer_;
    QString caption_;
    bool shown_ = false;
};
