#pragma once

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QPair>
#include <QtGlobal>
#include <cstddef>
#include <deque>
#include <functional>
#include <optional>

class WorkImage;

// Every byte the editor writes into the working image goes through here: the bytes there are
// read, the new ones written, and the step kept, so it can be taken back and done again. A
// step is one typed byte or one range (a fill, a paste) of any length; a range's old bytes
// (and a paste's new ones) are kept in a file beside the working image, so memory stays
// bounded whatever its size. Whether the image holds unsaved edits follows from the steps: it
// is modified whenever it stands at another step than the one last saved.
class ByteEdits {
public:
    // Steps kept; the oldest go first.
    static constexpr std::size_t Limit = 200000;
    // Ranges are read and written in pieces of this size, with a progress report after each.
    static constexpr qint64 PieceSize = qint64(4) << 20;
    // Called after each piece with the share done; false stops the work.
    using Progress = std::function<bool(int percent)>;

    // The bytes a step changed.
    struct Span {
        qint64 position = 0; // 1-based
        qint64 length = 0;
    };

    explicit ByteEdits(WorkImage& image) : image_(image) {}
    ~ByteEdits();
    ByteEdits(const ByteEdits&) = delete;
    ByteEdits& operator=(const ByteEdits&) = delete;

    // Writes value at 1-based position and keeps the step; the steps that could be done
    // again are gone. A failed write throws platform::RuntimeError and keeps nothing.
    void Write(qint64 position, unsigned char value);

    // Writes length bytes from 1-based position as one step: data over and over (a fill) or
    // data once (a paste, length == data.size()). Stopped or failed part-way, the bytes
    // already written are put back, nothing is kept, and it throws (CancelError when stopped).
    void WriteRange(qint64 position, qint64 length, const QByteArray& data,
                    const Progress& progress = {});
    // Writes each (1-based position, bytes) as one step together: taken back and done again
    // as one. For a few small ranges (fields a command rewrites): no progress is reported.
    void WriteRanges(const QList<QPair<qint64, QByteArray>>& ranges);

    // Writes the old bytes of the last step back; what it changed, or none with nothing to
    // take back. A failed write throws and the step stays where it was.
    std::optional<Span> Undo();
    // Writes the new bytes of the step taken back last again.
    std::optional<Span> Redo();
    bool CanUndo() const { return current_ > first_; }
    bool CanRedo() const { return current_ < first_ + qint64(steps_.size()); }

    bool Modified() const { return current_ != saved_; }
    // The image as it stands is in the user's file now.
    void MarkSaved() { saved_ = current_; }
    // The image holds changes the user's file lacks, which no step takes back (changes
    // kept from an earlier run).
    void MarkUnsaved() { saved_ = -1; }
    // Another file: nothing to take back, nothing modified; the kept ranges are deleted.
    void Clear();

private:
    struct Step {
        qint64 position;
        qint64 length;
        unsigned char before; // one byte: the bytes themselves
        unsigned char after;
        qint64 beforeAt = -1; // a range: where its old bytes are in the store
        qint64 afterAt = -1;  // a paste: where its new bytes are in the store
        QByteArray pattern;   // a fill: what it repeats
        // A fill of most of the image is made as a new image beside the old, then the two
        // trade names: this file holds the image as it is not now, and every undo or redo
        // trades again, in no time, whatever the size.
        QString swapPath;
        bool joined = false; // taken back and done again with the step before it
    };

    // The steps that could be done again are gone once a new one is made.
    void DropRedo();
    void Keep(Step step);
    void OpenStore();
    // Copies length bytes from the image at position to the store's end; their place there.
    qint64 Stash(qint64 position, qint64 length, const Progress& progress, int from, int to);
    // Writes the step's old (before) or new bytes over its span of the image.
    void Apply(const Step& step, bool after);
    void RestoreFromStore(qint64 position, qint64 length, qint64 at);
    // A fill made as a new image (see Step::swapPath); the new image's bytes in pieces of
    // pieceSize, the pattern's piece prepared once.
    void FillBySwap(Step& step, const QByteArray& data, const Progress& progress);
    static void Forget(const Step& step);
    static std::optional<Span> Cover(const std::optional<Span>& span, const Step& step);
    static QByteArray PatternPiece(const QByteArray& pattern, qint64 phase, qint64 size);

    WorkImage& image_;
    std::deque<Step> steps_;
    // Steps are numbered from the file's opening: the image stands after step current_;
    // steps_ holds steps first_ + 1 onwards. saved_ is -1 once the saved state can no
    // longer be reached.
    qint64 first_ = 0;
    qint64 current_ = 0;
    qint64 saved_ = 0;
    QFile store_;   // the ranges' bytes, beside the working image, the owner's only
    int swaps_ = 0; // the last number given to a swap step's file
    QByteArray buffer_;
};
