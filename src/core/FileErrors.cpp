#include "FileErrors.h"

#include <QFileDevice>
#include <cstring>

namespace core {

namespace {

// The words Qt gives when it kept no reason of its own, translated or not.
bool SaysNothing(const QString& text) {
    return text.isEmpty() || text == QLatin1String("Unknown error") ||
           text == QIODevice::tr("Unknown error");
}

// When neither Qt nor errno kept a reason: at least what kind of call failed.
QString KindOfFailure(QFileDevice::FileError error) {
    switch (error) {
    case QFileDevice::ReadError:
        return QStringLiteral("reading failed, and the system gave no reason");
    case QFileDevice::OpenError:
        return QStringLiteral("it could not be opened, and the system gave no reason");
    case QFileDevice::RenameError:
        return QStringLiteral("it could not be put in place of the old file, and the system "
                              "gave no reason");
    default:
        return QStringLiteral("writing failed, and the system gave no reason");
    }
}

} // namespace

QString SystemReason(int errorNumber) {
    return QString::fromLocal8Bit(std::strerror(errorNumber));
}

QString FileErrorReason(const QFileDevice& file, int errorNumber) {
    const QString qt = file.errorString();
    if (!SaysNothing(qt)) {
        return qt;
    }
    return errorNumber != 0 ? SystemReason(errorNumber) : KindOfFailure(file.error());
}

bool FileCall(const QFileDevice& file, const std::function<bool()>& call, QString* why) {
    errno = 0;
    if (call()) {
        return true;
    }
    const int errorNumber = errno;
    *why = FileErrorReason(file, errorNumber);
    return false;
}

} // namespace core
