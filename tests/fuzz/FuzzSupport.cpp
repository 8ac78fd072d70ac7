#include "FuzzSupport.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace fuzz {

void InitQt() {
    static int argc = 1;
    static char name[] = "fuzz";
    static char* argv[] = {name, nullptr};
    // Kept to the end of the process on purpose: Qt tears its globals down after main.
    static QCoreApplication* app =
        QCoreApplication::instance() ? nullptr : new QCoreApplication(argc, argv);
    (void)app;
}

QString ScratchPath(const QString& name) {
    static const std::unique_ptr<QTemporaryDir> dir = std::make_unique<QTemporaryDir>();
    Check(dir->isValid(), "the scratch folder could not be made");
    return dir->filePath(name);
}

void WriteFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    Check(file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
              file.write(bytes) == bytes.size(),
          "a scratch file could not be written");
}

void Check(bool holds, const char* what) {
    if (!holds) {
        std::fprintf(stderr, "fuzz check failed: %s\n", what);
        std::abort();
    }
}

uint8_t Input::Byte() {
    return pos_ < size_ ? data_[pos_++] : 0;
}

int Input::Below(int n) {
    const unsigned value = n > 256 ? unsigned(Byte()) << 8 | Byte() : Byte();
    return int(value % unsigned(n));
}

QByteArray Input::Rest() {
    const size_t from = pos_;
    pos_ = size_;
    return QByteArray(reinterpret_cast<const char*>(data_ + from), qsizetype(size_ - from));
}

QString TextOf(const QByteArray& bytes, bool utf16) {
    if (utf16) {
        QString text(bytes.size() / 2, Qt::Uninitialized);
        std::memcpy(text.data(), bytes.constData(), size_t(text.size()) * sizeof(QChar));
        return text;
    }
    return QString::fromUtf8(bytes);
}

} // namespace fuzz
