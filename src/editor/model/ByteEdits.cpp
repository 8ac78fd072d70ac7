#include "ByteEdits.h"

#include "WorkImage.h"
#include "platform/RuntimeError.h"

#include <QCoreApplication>

void ByteEdits::Write(qint64 position, unsigned char value) {
    char before = 0;
    if (image_.ReadAt(position, &before, 1) != 1) {
        throw platform::RuntimeError(
            platform::ErrorNumber::IllegalCall,
            QCoreApplication::translate("ByteEdits", "Position %1 lies outside the working copy.")
                .arg(position));
    }
    image_.WriteAt(position, value);
    steps_.resize(static_cast<std::size_t>(current_ - first_));
    if (saved_ > current_) {
        saved_ = -1; // the saved state was among the steps just dropped
    }
    steps_.push_back({position, static_cast<unsigned char>(before), value});
    ++current_;
    if (steps_.size() > Limit) {
        steps_.pop_front();
        ++first_;
    }
}

std::optional<qint64> ByteEdits::Undo() {
    if (!CanUndo()) {
        return std::nullopt;
    }
    const Step& step = steps_[static_cast<std::size_t>(current_ - first_ - 1)];
    image_.WriteAt(step.position, step.before);
    --current_;
    return step.position;
}

std::optional<qint64> ByteEdits::Redo() {
    if (!CanRedo()) {
        return std::nullopt;
    }
    const Step& step = steps_[static_cast<std::size_t>(current_ - first_)];
    image_.WriteAt(step.position, step.after);
    ++current_;
    return step.position;
}

void ByteEdits::Clear() {
    steps_.clear();
    first_ = current_ = saved_ = 0;
}
