#include "SerialDeviceTransport.h"

#include "platform/CommErrors.h"
#include "platform/RuntimeError.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QSerialPort>
#include <QSet>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <cstring>
#include <grp.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace transport {

using namespace platform;

namespace {

// The devices this program holds open, so a second open is told apart from another
// process's lock.
QSet<QString>& DevicesOpenHere() {
    static QSet<QString> devices;
    return devices;
}

QString DeviceKey(const QString& device) {
    const QString canonical = QFileInfo(device).canonicalFilePath();
    return canonical.isEmpty() ? device : canonical;
}

// Who may open device, and how the user comes to: the group's command only when joining
// the group would help (it may read and write the device, and it is not root's own).
QString AccessHint(const QString& device) {
#ifdef Q_OS_UNIX
    struct stat info {};
    if (::stat(QFile::encodeName(device).constData(), &info) == 0) {
        const struct group* g = ::getgrgid(info.st_gid);
        const bool groupMay = (info.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP);
        if (!g || info.st_gid == 0 || !groupMay) {
            const struct passwd* owner = ::getpwuid(info.st_uid);
            const QString who =
                owner ? QString::fromLocal8Bit(owner->pw_name) : QString::number(info.st_uid);
            return QStringLiteral("Only its owner %1%2 may open %3. Ask an administrator to "
                                  "give it to a group of yours with read and write access (for "
                                  "example a udev rule with GROUP=\"dialout\", MODE=\"0660\"). "
                                  "Or choose another port.")
                .arg(who,
                     groupMay && g ? QStringLiteral(" and the group %1")
                                         .arg(QString::fromLocal8Bit(g->gr_name))
                                   : QString(),
                     device);
        }
        // The command on a line of its own: a window that wraps the text keeps it whole.
        return QStringLiteral("%1 belongs to the group %2; add yourself with:\n    sudo usermod "
                              "-aG %2 $USER\nthen log out and in again. Or choose another port.")
            .arg(device, QString::fromLocal8Bit(g->gr_name));
    }
#endif
    return QStringLiteral("Ask an administrator for read and write access to %1, or choose "
                          "another port.")
        .arg(device);
}

// What a path is when it is not a character device: the words that say why it cannot be a
// serial port; "" for a character device (a tty or not, the system tells when it opens).
QString NotASerialPort(const QString& device) {
#ifdef Q_OS_UNIX
    struct stat info {};
    if (::stat(QFile::encodeName(device).constData(), &info) != 0 || S_ISCHR(info.st_mode)) {
        return QString();
    }
    const char* kind = S_ISFIFO(info.st_mode)   ? "a FIFO"
                       : S_ISREG(info.st_mode)  ? "a regular file"
                       : S_ISDIR(info.st_mode)  ? "a folder"
                       : S_ISSOCK(info.st_mode) ? "a socket"
                                                : "not a device";
    return QStringLiteral("%1 is not a serial port: it is %2").arg(device, QLatin1String(kind));
#else
    Q_UNUSED(device);
    return QString();
#endif
}

// A name without a folder is taken as given when it exists there, else as a device in /dev.
QString ResolveDevice(const QString& device) {
#ifdef Q_OS_UNIX
    if (!device.contains(QLatin1Char('/'))) {
        return QFileInfo::exists(device) ? QFileInfo(device).absoluteFilePath()
                                         : QStringLiteral("/dev/") + device;
    }
#endif
    return device;
}

[[noreturn]] void NoAccess(const QString& device, const QString& reason) {
    throw RuntimeError(
        ErrorNumber::SerialSystemError,
        QStringLiteral("Cannot open %1: %2.\n%3").arg(device, reason, AccessHint(device)));
}

QSerialPort::Parity ToQt(char parity) {
    switch (parity) {
    case 'E':
        return QSerialPort::EvenParity;
    case 'O':
        return QSerialPort::OddParity;
    case 'M':
        return QSerialPort::MarkParity;
    case 'S':
        return QSerialPort::SpaceParity;
    default:
        return QSerialPort::NoParity;
    }
}

QSerialPort::StopBits StopBitsToQt(int stopBitsTimesTwo) {
    switch (stopBitsTimesTwo) {
    case 3:
        return QSerialPort::OneAndHalfStop;
    case 4:
        return QSerialPort::TwoStop;
    default:
        return QSerialPort::OneStop;
    }
}

// How long a write may take to reach the system before the device counts as stuck: the
// bytes at a slow line's pace with plenty to spare.
int WriteTimeoutMs(qint64 bytes) {
    return 1000 + int(bytes) * 20;
}

} // namespace

SerialDeviceTransport::SerialDeviceTransport(QString device, const PortEnumeration* ports)
    : named_(std::move(device)), device_(ResolveDevice(named_)), ports_(ports),
      serial_(std::make_unique<QSerialPort>()) {
    // Data noticed by the event loop (inside a wait) is taken at once, under the receive
    // threshold in force when it came.
    QObject::connect(serial_.get(), &QSerialPort::readyRead, serial_.get(), [this] {
        if (onArrival) {
            onArrival();
        }
    });
}

SerialDeviceTransport::~SerialDeviceTransport() {
    onArrival = nullptr;
    try {
        Close();
    } catch (const RuntimeError&) {
        // Going away: whatever could not be written is lost with the port.
    }
}

int SerialDeviceTransport::Open(const LineSettings& line) {
    line_ = line;
    const QString& device = device_;
    const QString key = DeviceKey(device);
    if (DevicesOpenHere().contains(key)) {
        throw RuntimeError(CommError::PortAlreadyOpen,
                           QStringLiteral("%1 is already open in this program").arg(device));
    }
#ifdef Q_OS_UNIX
    // The system's own reasons are clearer than QSerialPort's for these.
    const QByteArray path = QFile::encodeName(device);
    if (!QFileInfo::exists(device)) {
        // Say what is there instead: the adapter may have come back under another name.
        const QtPortEnumeration system;
        QStringList present;
        for (const SystemPort& port : (ports_ ? ports_ : &system)->Ports()) {
            present << (port.description.isEmpty() ? port.PreferredName()
                                                   : QStringLiteral("%1 (%2)").arg(
                                                         port.PreferredName(), port.description));
        }
        throw RuntimeError(CommError::PortInvalid,
                           QStringLiteral("No such device: %1. %2")
                               .arg(device, present.isEmpty()
                                                ? QStringLiteral("No serial port is present.")
                                                : QStringLiteral("Ports present: %1.")
                                                      .arg(present.join(QStringLiteral(", ")))));
    }
    if (::access(path.constData(), R_OK | W_OK) != 0 && (errno == EACCES || errno == EPERM)) {
        NoAccess(device, QString::fromLocal8Bit(std::strerror(errno)));
    }
    // Opening a FIFO could wait for a writer; a file of any other kind carries no line.
    const QString notAPort = NotASerialPort(device);
    if (!notAPort.isEmpty()) {
        throw RuntimeError(CommError::SetCommState, notAPort);
    }
#endif

    serial_->setPortName(device);
    serial_->setFlowControl(QSerialPort::NoFlowControl);
    ApplyLine();
    if (!serial_->open(QIODevice::ReadWrite)) {
        const QString reason = serial_->errorString();
        const QSerialPort::SerialPortError error = serial_->error();
        serial_->clearError();
        switch (error) {
        case QSerialPort::DeviceNotFoundError:
            throw RuntimeError(CommError::PortInvalid,
                               QStringLiteral("Cannot open %1: %2").arg(device, reason));
        case QSerialPort::PermissionError:
            if (reason.contains(QLatin1String("ermission denied")) ||
                reason.contains(QLatin1String("not permitted"))) {
                NoAccess(device, reason);
            }
            // Locked or busy: another process has it.
            throw RuntimeError(CommError::PortInUse,
                               QStringLiteral("%1 is in use: %2").arg(device, reason));
        case QSerialPort::ResourceError:
            throw RuntimeError(CommError::PortInUse,
                               QStringLiteral("%1 is in use: %2").arg(device, reason));
        case QSerialPort::OpenError:
            throw RuntimeError(CommError::PortAlreadyOpen,
                               QStringLiteral("%1 is already open").arg(device));
        case QSerialPort::UnsupportedOperationError:
            // A character device without a line (/dev/null, /dev/zero): no serial port.
            throw RuntimeError(CommError::SetCommState,
                               QStringLiteral("%1 is not a serial port: it refused the settings "
                                              "%2 (%3)")
                                   .arg(device, LineSettingsText(line_), reason));
        default:
            throw RuntimeError(ErrorNumber::SerialSystemError,
                               QStringLiteral("Cannot open %1: %2").arg(device, reason));
        }
    }
#ifdef Q_OS_UNIX
    // QSerialPort's lock file and exclusive mode keep out neither a second process running as
    // root nor one that names the device by another path; a lock on the device itself does.
    if (::flock(int(serial_->handle()), LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
        serial_->close();
        serial_->clearError();
        throw RuntimeError(CommError::PortInUse,
                           QStringLiteral("%1 is in use by another process").arg(device));
    }
#endif
    DevicesOpenHere().insert(key);
    openKey_ = key;

    // A session starts afresh: nothing left over in either direction.
    serial_->clear(QSerialPort::AllDirections);
    readFailure_.clear();
    // Adapters take their supply or their DSR loop from these lines; a device without
    // modem lines (a pseudo-terminal) refuses, which is harmless.
    serial_->setDataTerminalReady(true);
    serial_->setRequestToSend(true);
    serial_->clearError();
    return 0;
}

void SerialDeviceTransport::Close() {
    if (!serial_->isOpen()) {
        return;
    }
    DevicesOpenHere().remove(openKey_);
    openKey_.clear();
    // Bytes still queued would be lost by close: hand them to the system first.
    QString failure;
    try {
        Drain(WriteTimeoutMs(serial_->bytesToWrite()));
    } catch (const RuntimeError& error) {
        failure = error.Description();
    }
    serial_->close();
    serial_->clearError();
    if (!failure.isEmpty()) {
        throw RuntimeError(CommError::DeviceBusy, failure);
    }
}

void SerialDeviceTransport::ApplyLine() {
    const bool ok = serial_->setBaudRate(line_.baud) &&
                    serial_->setDataBits(QSerialPort::DataBits(line_.dataBits)) &&
                    serial_->setParity(ToQt(line_.parity)) &&
                    serial_->setStopBits(StopBitsToQt(line_.stopBitsTimesTwo));
    if (!ok) {
        const QString reason = serial_->errorString();
        serial_->clearError();
        throw RuntimeError(CommError::SetCommState,
                           QStringLiteral("%1 refused the settings %2: %3")
                               .arg(named_, LineSettingsText(line_), reason));
    }
}

void SerialDeviceTransport::Write(const QByteArray& bytes) {
    if (serial_->write(bytes) != bytes.size()) {
        const QString reason = serial_->errorString();
        serial_->clearError();
        FailedOnTheLine(CommError::DeviceBusy,
                        QStringLiteral("Writing to %1 failed: %2").arg(named_, reason));
    }
    // QSerialPort only queues the bytes until the event loop runs; a wait that starts now
    // must start with them on the line.
    Drain(WriteTimeoutMs(bytes.size()));
}

void SerialDeviceTransport::FailedOnTheLine(int number, const QString& words) const {
    // "Device Busy" would send the user looking for another program: say what happened.
    if (!openKey_.isEmpty() && !QFileInfo::exists(openKey_)) {
        throw RuntimeError(ErrorNumber::SerialSystemError,
                           QStringLiteral("The adapter or its cable went away: %1 is no longer "
                                          "there.")
                               .arg(named_));
    }
    throw RuntimeError(number, words);
}

void SerialDeviceTransport::Drain(int timeoutMs) {
    const QDeadlineTimer deadline(timeoutMs);
    while (serial_->bytesToWrite() > 0) {
        if (!serial_->waitForBytesWritten(int(deadline.remainingTime()))) {
            const bool timedOut = serial_->error() == QSerialPort::TimeoutError;
            const QString reason =
                timedOut ? QStringLiteral("the device took no data for %1 ms").arg(timeoutMs)
                         : serial_->errorString();
            serial_->clearError();
            FailedOnTheLine(CommError::DeviceBusy,
                            QStringLiteral("Writing to %1 failed: %2").arg(named_, reason));
        }
    }
}

QByteArray SerialDeviceTransport::Read(int waitMs) {
    if (!serial_->isOpen()) {
        throw RuntimeError(CommError::PortNotOpen, QStringLiteral("Port Not Open"));
    }
    // Reads whatever the system holds, waiting at most waitMs; "timed out" only means
    // nothing was there.
    serial_->waitForReadyRead(waitMs);
    const QSerialPort::SerialPortError error = serial_->error();
    if (error == QSerialPort::ReadError || error == QSerialPort::ResourceError) {
        readFailure_ = serial_->errorString();
    }
    if (error != QSerialPort::NoError) {
        serial_->clearError();
    }
    const QByteArray data = serial_->readAll();
    if (data.isEmpty() && !readFailure_.isEmpty()) {
        const QString reason = readFailure_;
        readFailure_.clear();
        FailedOnTheLine(CommError::ReadFailed,
                        QStringLiteral("Reading %1 failed: %2").arg(named_, reason));
    }
    return data;
}

bool SerialDeviceTransport::Dsr() const {
    serial_->clearError();
    const QSerialPort::PinoutSignals lines = serial_->pinoutSignals();
    const QSerialPort::SerialPortError error = serial_->error();
    serial_->clearError();
    if (error == QSerialPort::ResourceError) {
        return false; // the device has gone
    }
    if (error != QSerialPort::NoError) {
        return true; // a device without modem lines (a pseudo-terminal)
    }
    return lines.testFlag(QSerialPort::DataSetReadySignal);
}

bool SerialDeviceTransport::StillThere(QString* why) const {
    if (!serial_->isOpen()) {
        *why = QStringLiteral("the port is not open");
        return false;
    }
    if (!readFailure_.isEmpty()) {
        *why =
            QStringLiteral("the adapter or its cable went away (%1: %2)").arg(named_, readFailure_);
        return false;
    }
    // A USB adapter pulled, a pseudo-terminal whose other end closed: the node is gone.
    if (!QFileInfo::exists(openKey_)) {
        *why = QStringLiteral("the adapter or its cable went away (%1 is no longer there)")
                   .arg(named_);
        return false;
    }
    return true;
}

} // namespace transport
