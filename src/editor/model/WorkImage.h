#pragma once

#include "RecordImage.h"

#include <QFile>
#include <QString>
#include <functional>

class QFileDevice;

// The working image: the editor's byte-for-byte copy of the user's file, kept on disk so a
// file of any size is shown and edited without being held in memory. Positions are 1-based
// and 64-bit, as the editor counts them. Failures throw platform::RuntimeError.
class WorkImage {
public:
    // Files are copied in pieces of this size, with a progress report after each.
    static constexpr qint64 ChunkSize = 512000;
    // Pieces copied by one call when the system copies.
    static constexpr qint64 KernelPieces = 8;
    using Progress = std::function<void(int percent)>;

    WorkImage() = default;
    explicit WorkImage(QString path) : path_(std::move(path)) {}
    ~WorkImage();
    WorkImage(const WorkImage&) = delete;
    WorkImage& operator=(const WorkImage&) = delete;

    const QString& Path() const { return path_; }
    // Where the next Load creates the image.
    void SetPath(const QString& path) { path_ = path; }
    bool IsOpen() const { return file_.isOpen(); }
    qint64 Length() const { return length_; }

    // Creates the image afresh at Path (a file or link already there is removed, never
    // followed; the new file is the owner's only) and copies source, open for reading, into
    // it. On failure nothing stays open. Errors name the source by name, or by its own name
    // when it has one.
    void Load(QFileDevice& source, const Progress& progress, const QString& name = QString());

    // Creates the image afresh, as Load does, from the records of source (Intel HEX or
    // S-records): the span they describe; what they held besides the data, to write them back.
    RecordImage::Layout LoadRecords(QFileDevice& source, core::ImageFormat format,
                                    const RecordImage::Progress& progress);

    // Writes the whole image to target. The target is replaced only once every byte has been
    // written, so a failure leaves it as it was.
    void SaveTo(const QString& target, const Progress& progress);

    // Reads up to size bytes from position in one positioned read; returns how many it got.
    qint64 ReadAt(qint64 position, char* data, qint64 size);
    void WriteAt(qint64 position, unsigned char value);
    // Writes size bytes from 1-based position; all of them lie inside the image.
    void WriteAt(qint64 position, const char* data, qint64 size);

    // Copies size bytes at 0-based offset of the image to the same offset of to (in the
    // system where it can).
    void CopyRangeTo(QFileDevice& to, qint64 offset, qint64 size);
    // The image and the file at other trade names (at once, where the system can): the image
    // is what other held, other keeps what the image held.
    void Exchange(const QString& other);

    // Closes the image. During a copy the file stays open until the copy has stopped, at the
    // end of the piece in hand.
    void Close();
    // Closes the image and deletes its file, when there is one.
    void Remove();

    // A copy under way stops after the piece in hand (the program is closing).
    void Abort() { aborted_ = true; }
    bool Copying() const { return copying_; }

    // Copies go through the system's in-kernel copy where it has one (on Linux, which also
    // clones on file systems that can), else through a buffer. Off: always the buffer.
    void SetKernelCopy(bool on) { kernelCopy_ = on; }

    // The progress figure after piece i of n: i × 100 / n, rounded to the nearest, halves
    // to even.
    static int ChunkPercent(qint64 i, qint64 n);

private:
    void Create(const QString& name);
    void Copy(QFileDevice& from, QFileDevice& to, qint64 length, bool flushTarget,
              const Progress& progress);
    void CopyPiece(QFileDevice& from, QFileDevice& to, qint64 offset, qint64 size);
    void CopyThroughBuffer(QFileDevice& from, QFileDevice& to, qint64 offset, qint64 size);
    void EndCopy();
    QString NameOf(const QFileDevice& file) const;
    [[noreturn]] void ThrowFileError(const QString& what, const QFileDevice& file) const;
    [[noreturn]] void ThrowShorter(const QFileDevice& file) const;

    QString path_;
    QString sourceName_; // the name of a source opened through its handle
    QFile file_;
    qint64 length_ = 0;
    bool aborted_ = false;
    bool copying_ = false;
    bool closePending_ = false;
    bool kernelCopy_ = true;
    bool kernelCopyWorks_ = true; // false once the system refused it for this copy
    QByteArray buffer_;
};
