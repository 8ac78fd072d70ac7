// Runs a READ on the simulated adapter's model through the core, and writes the block as
// Intel HEX: enough of the core that a stray Widgets dependency would show in its links.
#include "core/ImageFile.h"
#include "core/Operations.h"
#include "core/PortControl.h"
#include "core/PortDevices.h"
#include "platform/QtClock.h"
#include "transport/PortFactory.h"

#include <QCoreApplication>

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    platform::QtClock clock;
    transport::PortFactory factory(clock);
    core::PortControl port(factory.AsOpener());
    core::SetUpPort(port, core::PortChoice{0, QStringLiteral("/nonexistent/tty")});
    core::Operations operations(port, clock);
    core::OperationObserver observer;
    const core::Family& family = *core::FindFamily(QStringLiteral("y"));
    const core::Outcome outcome = operations.Run(core::Operation::Read, family, observer);
    const QByteArray text = core::EncodeImage(QByteArray(256, char(0xFF)),
                                              core::ImageFormat::IntelHex, family, QString());
    // No such port: the outcome says so; the formats wrote their records.
    return outcome.status == core::Status::PortError && text.endsWith(":00000001FF\n") ? 0 : 1;
}
