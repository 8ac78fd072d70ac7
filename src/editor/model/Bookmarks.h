#pragma once

#include <QList>
#include <QString>
#include <optional>

// The user's bookmarks in one file: places (1-based position, length) with an optional name,
// in the order of their positions. They are kept outside the image, in a JSON file of the
// user's (beside the settings) that holds every file's bookmarks by the file's absolute path,
// so that the image itself is never touched and they follow the file when it is opened again.
class Bookmarks {
public:
    struct Mark {
        qint64 position = 1; // 1-based
        qint64 length = 1;
        QString name;
        bool operator==(const Mark&) const = default;
    };

    const QList<Mark>& List() const { return marks_; }
    // The mark covering position, -1 when none does.
    int IndexAt(qint64 position) const;
    void Add(Mark mark);
    void Remove(int index) { marks_.removeAt(index); }
    // The first mark after position (or before it, backwards); when none lies that way, the
    // first (last) of all, with wrapped set. None without marks.
    std::optional<Mark> Step(qint64 position, bool forward, bool* wrapped) const;

    // The marks of file in store, those that start past its length dropped, the others cut to
    // it. A store that is missing or unreadable gives none.
    void Load(const QString& store, const QString& file, qint64 length);
    // Writes the marks of file into store, keeping the other files' marks; false, with why,
    // when it could not be written.
    bool Save(const QString& store, const QString& file, QString* why) const;
    void Clear() { marks_.clear(); }

private:
    QList<Mark> marks_;
};
