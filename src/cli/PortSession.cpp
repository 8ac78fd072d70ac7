#include "PortSession.h"

#include "ExitCode.h"
#include "TracingTransport.h"
#include "core/OperationWords.h"
#include "core/OutcomeWords.h"
#include "core/Pause.h"
#include "platform/CommErrors.h"
#include "platform/RuntimeError.h"

#include <QDir>
#include <QFileInfo>
#include <QTextStream>
#include <cerrno>
#include <csignal>

namespace cli {

PortSession::PortSession(ToolServices& services) : services_(services) {}

PortSession::~PortSession() = default;

QString PortSession::Label() const {
    if (choice_.number > 0) {
        return QStringLiteral("Comm%1 (%2)")
            .arg(choice_.number)
            .arg(core::ShownPortName(choice_.device));
    }
    return core::ShownPortName(choice_.device);
}

int PortSession::Busy(const QString& reason) {
    services_.err << "tms370: " << Label() << ": port busy: " << reason << '\n';
    services_.err.flush();
    return PortFailed;
}

int PortSession::Open(const core::PortChoice& choice, const QString& tracePath) {
    choice_ = choice;
    const bool simulated =
        choice.device.compare(transport::SimulatedDevice, Qt::CaseInsensitive) == 0;
    if (!simulated) {
        // One lock per device, whatever name it is given by.
        QString key = QFileInfo(choice.device).canonicalFilePath();
        if (key.isEmpty()) {
            key = choice.device;
        }
        key.replace(QLatin1Char('/'), QLatin1Char('_'))
            .replace(QLatin1Char('\\'), QLatin1Char('_'));
        lock_ = std::make_unique<QLockFile>(
            QDir::temp().filePath(QStringLiteral("tms370-%1.lock").arg(key)));
        lock_->setStaleLockTime(0); // a lock is stale only when its process has gone
        if (!lock_->tryLock(0)) {
            qint64 pid = 0;
            QString host, application;
            // A lock left by a process that has gone, which this user may not remove (another
            // user's, in the shared temporary folder), keeps nobody out either.
            if (lock_->error() == QLockFile::LockFailedError &&
                lock_->getLockInfo(&pid, &host, &application) &&
                (::kill(pid_t(pid), 0) == 0 || errno == EPERM)) {
                return Busy(QStringLiteral("tms370 (process %1) is using it; wait for it to "
                                           "end or choose another port")
                                .arg(pid));
            }
            lock_.reset(); // a lock that cannot be made keeps nobody out; the port lock decides
        }
    }
    port_.reset(); // before the factory its transports may come from
    factory_ = std::make_unique<transport::PortFactory>(services_.clock, services_.simulated,
                                                        services_.ports);
    if (tracePath.isEmpty()) {
        port_ = std::make_unique<core::PortControl>(factory_->AsOpener());
    } else {
        trace_ = std::make_unique<Trace>(services_.clock);
        port_ = std::make_unique<core::PortControl>([this](const QString& device) {
            return std::make_unique<TracingTransport>(factory_->Make(device), *trace_);
        });
        QString why;
        if (!trace_->Open(tracePath, &why)) {
            services_.err << "tms370: cannot write the trace file " << tracePath << ": " << why
                          << '\n';
            services_.err.flush();
            return FileFailed;
        }
        tracePath_ = tracePath;
    }
    core::PortControl& port = Port();
    try {
        core::SetUpPort(port, choice);
        port.SetPortOpen(true);
        if (!port.DSRHolding()) {
            if (!port.DSRHolding()) {
                core::Pause(services_.clock, 5);
            }
            port.SetPortOpen(false);
            services_.err << "tms370: " << Label() << ": " << core::OperationWords::CheckPort
                          << '\n';
            if (const QString advice = core::NoDsrAdvice(choice.device); !advice.isEmpty()) {
                services_.err << "tms370: " << advice << '\n';
            }
            services_.err.flush();
            return PortFailed;
        }
        port.SetRThreshold(1);
        port.SetPortOpen(false);
    } catch (const platform::RuntimeError& error) {
        services_.err << PortFailureText(Label(), error.Number(), error.Description()) << '\n';
        services_.err.flush();
        return PortFailed;
    }
    return Success;
}

bool PortSession::TraceComplete() {
    if (trace_ && trace_->Failed()) {
        services_.err << "tms370: the trace file " << tracePath_
                      << " is incomplete: " << trace_->ErrorString() << '\n';
        services_.err.flush();
        return false;
    }
    return true;
}

QString PortFailureText(const QString& label, int number, const QString& fullDescription) {
    // A network port's words start with its name, which the label already gives.
    QString description = core::ShownText(fullDescription);
    if (description.startsWith(label + QStringLiteral(": "))) {
        description = description.mid(label.size() + 2);
    }
    const QString words = core::DescribePortError(number, description).text;
    QString text = QStringLiteral("tms370: %1: ").arg(label);
    if (number == platform::CommError::PortInUse) {
        text += QStringLiteral("port busy: ");
    }
    if (words.isEmpty()) {
        return text + description;
    }
    text += words;
    if (!description.isEmpty() && description != words) {
        text += QStringLiteral(" (%1)").arg(description);
    }
    return text;
}

} // namespace cli
