#include "TracingPort.h"

#include "adaptersim/WireByte.h"
#include "core/FileErrors.h"
#include "platform/Clock.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace cli {

TracingPort::TracingPort(platform::SerialPort& port, platform::Clock& clock)
    : port_(port), clock_(clock), startMs_(clock.NowMs()) {}

bool TracingPort::Open(const QString& path, QString* error) {
    // Opened without waiting: a FIFO that nobody reads would block the run before it began.
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_WRONLY | O_CREAT | O_TRUNC | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd < 0) {
        *error = errno == ENXIO ? QStringLiteral("it is a FIFO that nothing reads")
                                : core::SystemReason(errno);
        return false;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    const auto open = [&] {
        return trace_.open(fd, QIODevice::WriteOnly | QIODevice::Text,
                           QFileDevice::AutoCloseHandle);
    };
    if (!core::FileCall(trace_, open, error)) {
        ::close(fd);
        return false;
    }
    return true;
}

void TracingPort::Output(const QByteArray& bytes) {
    port_.Output(bytes);
    Log(bytes, true);
}

QByteArray TracingPort::Input() {
    const QByteArray bytes = port_.Input();
    Log(bytes, false);
    return bytes;
}

void TracingPort::Log(const QByteArray& bytes, bool sent) {
    if (!trace_.isOpen()) {
        return;
    }
    const double now = clock_.NowMs() - startMs_;
    for (char byte : bytes) {
        const adaptersim::WireByte wire{
            now, sent ? adaptersim::Direction::ToAdapter : adaptersim::Direction::FromAdapter,
            static_cast<std::uint8_t>(byte)};
        // Line by line, so a run that is killed leaves its trace up to that moment.
        const QByteArray line = adaptersim::FormatWireByte(wire).toUtf8() + '\n';
        QString why;
        const auto write = [&] { return trace_.write(line) == line.size() && trace_.flush(); };
        if (!core::FileCall(trace_, write, &why) && !failed_) {
            failed_ = true;
            why_ = why; // the first failure's reason: later ones may have lost it
        }
    }
}

} // namespace cli
