#include "TracingPort.h"

#include "adaptersim/WireByte.h"
#include "platform/Clock.h"

#include <cerrno>
#include <cstring>
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
                                : QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    if (!trace_.open(fd, QIODevice::WriteOnly | QIODevice::Text, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        *error = trace_.errorString();
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
        if (trace_.write(adaptersim::FormatWireByte(wire).toUtf8() + '\n') < 0 || !trace_.flush()) {
            failed_ = true;
        }
    }
}

} // namespace cli
