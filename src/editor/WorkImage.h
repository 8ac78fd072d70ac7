#pragma once

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
    using Progress = std::function<void(int percent)>;

    explicit WorkImage(QString path);
    ~WorkImage();
    WorkImage(const WorkImage&) = delete;
    WorkImage& operator=(const WorkImage&) = delete;

    const QString& Path() const { return path_; }
    bool IsOpen() const { return file_.isOpen(); }
    qint64 Length() const { return length_; }

    // Creates the image afresh at Path (a file or link already there is removed, never
    // followed; the new file is the owner's only) and copies source, open for reading, into
    // it. On failure nothing stays open.
    void Load(QFileDevice& source, const Progress& progress);

    // Writes the whole image to target. The target is replaced only once every byte has been
    // written, so a failure leaves it as it was.
    void SaveTo(const QString& target, const Progress& progress);

    // Reads up to size bytes from position in one positioned read; returns how many it got.
    qint64 ReadAt(qint64 position, char* data, qint64 size);
    void WriteAt(qint64 position, unsigned char value);

    void Close();
    // Closes the image and deletes its file, when there is one.
    void Remove();

    // A copy under way stops after the piece in hand (the program is closing).
    void Abort() { aborted_ = true; }
    bool Copying() const { return copying_; }

    // The progress figure after piece i of n: i × 100 / n, rounded to the nearest, halves
    // to even.
    static int ChunkPercent(qint64 i, qint64 n);

private:
    void Copy(QFileDevice& from, QFileDevice& to, qint64 length, const Progress& progress);

    QString path_;
    QFile file_;
    qint64 length_ = 0;
    bool aborted_ = false;
    bool copying_ = false;
};
