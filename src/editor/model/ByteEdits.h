#pragma once

#include <QtGlobal>
#include <cstddef>
#include <deque>
#include <optional>

class WorkImage;

// Every byte the editor writes into the working image goes through here: the byte there is
// read, the new one written, and the step kept, so it can be taken back and done again.
// Whether the image holds unsaved edits follows from the steps: it is modified whenever it
// stands at another step than the one last saved.
class ByteEdits {
public:
    // Steps kept; the oldest go first. 16 bytes each.
    static constexpr std::size_t Limit = 200000;

    explicit ByteEdits(WorkImage& image) : image_(image) {}

    // Writes value at 1-based position and keeps the step; the steps that could be done
    // again are gone. A failed write throws platform::RuntimeError and keeps nothing.
    void Write(qint64 position, unsigned char value);

    // Writes the old byte of the last step back; its position, or none with nothing to
    // take back. A failed write throws and the step stays where it was.
    std::optional<qint64> Undo();
    // Writes the new byte of the step taken back last again.
    std::optional<qint64> Redo();
    bool CanUndo() const { return current_ > first_; }
    bool CanRedo() const { return current_ < first_ + qint64(steps_.size()); }

    bool Modified() const { return current_ != saved_; }
    // The image as it stands is in the user's file now.
    void MarkSaved() { saved_ = current_; }
    // The image holds changes the user's file lacks, which no step takes back (changes
    // kept from an earlier run).
    void MarkUnsaved() { saved_ = -1; }
    // Another file: nothing to take back, nothing modified.
    void Clear();

private:
    struct Step {
        qint64 position;
        unsigned char before;
        unsigned char after;
    };

    WorkImage& image_;
    std::deque<Step> steps_;
    // Steps are numbered from the file's opening: the image stands after step current_;
    // steps_ holds steps first_ + 1 onwards. saved_ is -1 once the saved state can no
    // longer be reached.
    qint64 first_ = 0;
    qint64 current_ = 0;
    qint64 saved_ = 0;
};
