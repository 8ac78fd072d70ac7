#include "Progress.h"

#include <cmath>

namespace core {

QString TimeLeftText(double leftMs) {
    if (leftMs < 500) {
        return QStringLiteral("less than 1 s left");
    }
    return QStringLiteral("%1 s left").arg(qint64(std::ceil(leftMs / 1000.0 - 0.0005)));
}

QString DescribeProgress(const Progress& progress) {
    const QString left = QStringLiteral(" \u2014 ") + TimeLeftText(progress.leftMs);
    const QString of = QStringLiteral(" %1 of %2 bytes").arg(progress.done).arg(progress.total);
    switch (progress.phase) {
    case Phase::Opening:
        return QStringLiteral("Opening the port");
    case Phase::WaitingForAdapter:
        return QStringLiteral("Waiting for the adapter") + left;
    case Phase::Receiving:
        return (progress.operation == Operation::Verify ? QStringLiteral("Verifying")
                                                        : QStringLiteral("Reading")) +
               of + left;
    case Phase::Sending:
        return QStringLiteral("Programming") + of + left;
    case Phase::Settling:
        switch (progress.operation) {
        case Operation::ClearWpo:
            return QStringLiteral("Clearing the WPO register") + left;
        case Operation::BulkErase:
            return QStringLiteral("Erasing the EEPROM") + left;
        default:
            return QStringLiteral("Programming: waiting for the chip to store the data") + left;
        }
    case Phase::Closing:
        return QStringLiteral("Closing the port");
    }
    return QString();
}

} // namespace core
