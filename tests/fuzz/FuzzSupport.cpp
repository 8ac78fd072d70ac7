#include "FuzzSupport.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// Before the first input: Qt's application object, and no VIDAVEV_COMMn over Ports/CommN.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
    static int argc = 1;
    static char name[] = "fuzz";
    static char* argv[] = {name, nullptr};
    // Kept to the end of the process on purpose: Qt tears its globals down after main.
    new QCoreApplication(argc, argv);
    for (int n = 1; n <= 8; ++n) {
        qunsetenv(qPrintable(QStringLiteral("VIDAVEV_COMM%1").arg(n)));
    }
    return 0;
}

namespace fuzz {

QString ScratchPath(const QString& name) {
    static const QTemporaryDir dir;
    Check(dir.isValid(), "the scratch folder could not be made");
    return dir.filePath(name);
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

QString Input::Text() {
    if (!Flag()) {
        return QString::fromUtf8(Rest());
    }
    const QByteArray bytes = Rest();
    QString text(bytes.size() / 2, Qt::Uninitialized);
    std::memcpy(text.data(), bytes.constData(), size_t(text.size()) * sizeof(QChar));
    return text;
}

} // namespace fuzz
