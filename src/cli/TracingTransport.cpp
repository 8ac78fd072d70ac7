#include "TracingTransport.h"

#include "adaptersim/WireByte.h"
#include "core/FileErrors.h"
#include "platform/Clock.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace cli {

Trace::Trace(platform::Clock& clock) : clock_(clock), startMs_(clock.NowMs()) {}

bool Trace::Open(const QString& path, QString* error) {
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

void Trace::Log(const QByteArray& bytes, bool sent) {
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

TracingTransport::TracingTransport(std::unique_ptr<platform::ByteTransport> inner, Trace& trace)
    : inner_(std::move(inner)), trace_(trace) {
    inner_->onArrival = [this] {
        if (onArrival) {
            onArrival();
        }
    };
}

void TracingTransport::Write(const QByteArray& bytes) {
    inner_->Write(bytes);
    trace_.Log(bytes, true);
}

QByteArray TracingTransport::Read(int waitMs) {
    const QByteArray bytes = inner_->Read(waitMs);
    trace_.Log(bytes, false);
    return bytes;
}

} // namespace cli
