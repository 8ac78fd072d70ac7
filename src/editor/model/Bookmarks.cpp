#include "Bookmarks.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <algorithm>

namespace {

// The store's key of a file: the same file by any relative name.
QString KeyOf(const QString& file) {
    return QFileInfo(file).absoluteFilePath();
}

QJsonObject ReadStore(const QString& store) {
    QFile file(store);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    return QJsonDocument::fromJson(file.readAll()).object();
}

// A store that is there but not ours to read (spoilt by hand or by another program) is kept
// beside as .bad before a new one takes its name: the other files' marks stay to be mended.
void KeepSpoiltStore(const QString& store) {
    QFile file(store);
    if (!file.open(QIODevice::ReadOnly) || file.size() == 0) {
        return;
    }
    QJsonParseError error;
    if (QJsonDocument::fromJson(file.readAll(), &error).isObject()) {
        return;
    }
    file.close();
    QFile::remove(store + QLatin1String(".bad"));
    QFile::rename(store, store + QLatin1String(".bad"));
}

} // namespace

int Bookmarks::IndexAt(qint64 position) const {
    for (int i = 0; i < marks_.size(); ++i) {
        if (position >= marks_[i].position && position < marks_[i].position + marks_[i].length) {
            return i;
        }
    }
    return -1;
}

void Bookmarks::Add(Mark mark) {
    const auto at =
        std::lower_bound(marks_.begin(), marks_.end(), mark.position,
                         [](const Mark& m, qint64 position) { return m.position < position; });
    marks_.insert(at, std::move(mark));
}

std::optional<Bookmarks::Mark> Bookmarks::Step(qint64 position, bool forward, bool* wrapped) const {
    *wrapped = false;
    if (marks_.isEmpty()) {
        return std::nullopt;
    }
    if (forward) {
        for (const Mark& mark : marks_) {
            if (mark.position > position) {
                return mark;
            }
        }
    } else {
        for (auto it = marks_.rbegin(); it != marks_.rend(); ++it) {
            if (it->position < position) {
                return *it;
            }
        }
    }
    *wrapped = true;
    return forward ? marks_.first() : marks_.last();
}

void Bookmarks::Load(const QString& store, const QString& file, qint64 length) {
    marks_.clear();
    const QJsonArray saved = ReadStore(store).value(KeyOf(file)).toArray();
    for (const QJsonValue& value : saved) {
        const QJsonObject o = value.toObject();
        const qint64 offset = o.value(QLatin1String("offset")).toInteger(-1);
        const qint64 size = o.value(QLatin1String("length")).toInteger(1);
        // A shorter file than when they were set: those past its end are gone.
        if (offset < 0 || offset >= length || size < 1) {
            continue;
        }
        Add({offset + 1, std::min(size, length - offset),
             o.value(QLatin1String("name")).toString()});
    }
}

bool Bookmarks::Save(const QString& store, const QString& file, QString* why) const {
    KeepSpoiltStore(store);
    QJsonObject all = ReadStore(store);
    QJsonArray list;
    for (const Mark& mark : marks_) {
        QJsonObject o{{QStringLiteral("offset"), mark.position - 1},
                      {QStringLiteral("length"), mark.length}};
        if (!mark.name.isEmpty()) {
            o.insert(QStringLiteral("name"), mark.name);
        }
        list.append(o);
    }
    if (list.isEmpty()) {
        all.remove(KeyOf(file));
    } else {
        all.insert(KeyOf(file), list);
    }
    // Written whole or not at all: a failure leaves the other files' marks as they were.
    QSaveFile out(store);
    if (!out.open(QIODevice::WriteOnly) ||
        out.write(QJsonDocument(all).toJson(QJsonDocument::Indented)) < 0 || !out.commit()) {
        *why = out.errorString();
        return false;
    }
    return true;
}
