#include "FuzzTransport.h"

#include "platform/Clock.h"
#include "platform/CommErrors.h"
#include "platform/RuntimeError.h"

namespace fuzz {

using platform::RuntimeError;
namespace CommError = platform::CommError;

int FuzzTransport::Open(const platform::LineSettings&) {
    if (line_.faults.openFails) {
        throw RuntimeError(CommError::PortInUse, QStringLiteral("held by another process"));
    }
    ++line_.opens;
    openedMs_ = clock_.NowMs();
    return 0;
}

void FuzzTransport::Write(const QByteArray& bytes) {
    if (line_.writes++ == line_.faults.failingOutput) {
        throw RuntimeError(CommError::DeviceBusy, QStringLiteral("the device took no byte"));
    }
    line_.written += bytes;
    if (bytes == "c") {
        line_.readBeforeData = line_.read.size();
    }
}

QByteArray FuzzTransport::Read(int) {
    if (line_.reads++ == line_.faults.failingInput) {
        throw RuntimeError(CommError::ReadFailed, QStringLiteral("the adapter went away"));
    }
    QByteArray bytes;
    const double now = clock_.NowMs() - openedMs_;
    for (; next_ < line_.arrivals.size() && line_.arrivals[next_].atMs <= now; ++next_) {
        bytes += line_.arrivals[next_].byte;
    }
    line_.read += bytes;
    return bytes;
}

} // namespace fuzz
