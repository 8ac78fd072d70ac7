#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

// Image files for the tests: written and read whole; a pattern that differs byte by byte.
inline QByteArray WriteFile(const QString& path, const QByteArray& data) {
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(data);
    return data;
}

inline QByteArray ReadFile(const QString& path) {
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    return f.readAll();
}

inline QByteArray Pattern(int n, int seed = 0) {
    QByteArray data(n, 0);
    for (int i = 0; i < n; ++i) {
        data[i] = static_cast<char>((i * 7 + seed) & 0xFF);
    }
    return data;
}
