#include "SimTransport.h"

#include "platform/Clock.h"
#include "platform/CommErrors.h"
#include "platform/RuntimeError.h"

namespace transport {

using adaptersim::AdapterModel;
using adaptersim::WireByte;

using platform::RuntimeError;
namespace CommError = platform::CommError;

int SimTransport::Open(const platform::LineSettings&) {
    if (model_.Faults().portMissing) {
        throw RuntimeError(CommError::PortInvalid,
                           QStringLiteral("The simulated port does not exist"));
    }
    if (model_.Faults().portBusy) {
        throw RuntimeError(CommError::PortInUse,
                           QStringLiteral("The simulated port is held by another process"));
    }
    model_.Open(clock_.NowMs());
    open_ = true;
    return 0;
}

void SimTransport::Close() {
    if (!open_) {
        return;
    }
    model_.TakeReplies(clock_.NowMs()); // what was still on its way is lost with the line
    model_.Close(clock_.NowMs());
    open_ = false;
}

void SimTransport::Write(const QByteArray& bytes) {
    const double now = clock_.NowMs();
    for (char byte : bytes) {
        model_.Receive(std::uint8_t(byte), now);
    }
}

QByteArray SimTransport::Read(int) {
    QByteArray data;
    for (const WireByte& reply : model_.TakeReplies(clock_.NowMs())) {
        data.append(char(reply.byte));
    }
    return data;
}

bool SimTransport::StillThere(QString* why) const {
    if (!open_) {
        *why = QStringLiteral("the simulated port is not open");
    }
    return open_;
}

} // namespace transport
