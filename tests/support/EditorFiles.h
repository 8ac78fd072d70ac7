#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

// The editor's test files: written whole (stopping the test program when that fails), read
// whole, and a pattern whose bytes count up.

inline QString WriteFile(const QString& path, const QByteArray& data) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(data) != data.size()) {
        qFatal("cannot write %s", qPrintable(path));
    }
    return path;
}

inline QByteArray ReadFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

// A file of size bytes whose byte at offset i is i mod period.
inline QByteArray Counting(qint64 size, int period = 256) {
    QByteArray data(size, Qt::Uninitialized);
    for (qint64 i = 0; i < size; ++i) {
        data[i] = static_cast<char>(i % period);
    }
    return data;
}
