#include "DeviceOperations.h"

#include "OperationHost.h"
#include "OperationMessages.h"
#include "platform/FileDialogs.h"
#include "platform/MessageBoxes.h"
#include "platform/RuntimeError.h"
#include "platform/Services.h"

using namespace OperationMessages;
using core::Operation;
using core::Phase;
using core::Status;
using platform::MsgStyle::Critical;
using platform::MsgStyle::Exclamation;
using platform::MsgStyle::Information;

namespace {

platform::FileDialogOptions ImageDialog(bool save) {
    platform::FileDialogOptions options;
    options.filter = QStringLiteral("*.bin files|*.bin|*.hex files|*.hex");
    options.defaultExt = QStringLiteral("bin");
    options.fileMustExist = !save;
    options.confirmOverwrite = save;
    return options;
}

QString Hex(int value, int digits) {
    return QStringLiteral("%1").arg(value, digits, 16, QLatin1Char('0')).toUpper();
}

bool WritesChip(Operation operation) {
    return operation == Operation::Program || operation == Operation::ClearWpo ||
           operation == Operation::BulkErase;
}

} // namespace

DeviceOperations::DeviceOperations(platform::Services& services, OperationHost& host)
    : services_(services), host_(host) {
    if (services_.port) {
        engine_ = std::make_unique<core::Operations>(*services_.port, services_.clock);
    }
}

DeviceOperations::~DeviceOperations() = default;

void DeviceOperations::Read(const QString& deviceCode) {
    Run(Operation::Read, deviceCode);
}
void DeviceOperations::Program(const QString& deviceCode) {
    Run(Operation::Program, deviceCode);
}
void DeviceOperations::Verify(const QString& deviceCode) {
    Run(Operation::Verify, deviceCode);
}
void DeviceOperations::ClearWpo(const QString& deviceCode) {
    Run(Operation::ClearWpo, deviceCode);
}
void DeviceOperations::BulkErase(const QString& deviceCode) {
    Run(Operation::BulkErase, deviceCode);
}

bool DeviceOperations::WritingChip() const {
    return running_ && WritesChip(operation_) &&
           (phase_ == Phase::Sending || phase_ == Phase::Settling);
}

void DeviceOperations::Abort() {
    if (engine_) {
        engine_->Stop().RequestAbort();
    }
}

void DeviceOperations::Cancel() {
    if (engine_) {
        engine_->Stop().RequestCancel();
    }
}

void DeviceOperations::SetWorking(bool up) {
    if (up == working_) {
        return;
    }
    working_ = up;
    if (up) {
        host_.ShowWorking();
    } else {
        host_.EndWorking();
    }
}

void DeviceOperations::Run(Operation operation, const QString& deviceCode) {
    // A click while an operation runs (inside one of its waits) is ignored.
    if (running_) {
        return;
    }
    const core::Family* family = core::FindFamily(deviceCode);
    if (!family) {
        services_.messages.MsgBox(SelectDevice, Exclamation);
        return;
    }
    if (family->Refuses(operation)) {
        services_.messages.MsgBox(NotSupported, Exclamation);
        return;
    }
    if (!engine_) {
        services_.messages.MsgBox(CheckPort, Critical);
        return;
    }
    running_ = true;
    working_ = false;
    operation_ = operation;
    phase_ = Phase::Opening;
    core::OperationOptions options;
    options.fastReceive = fastReceive;
    const core::Outcome outcome = engine_->Run(operation, *family, *this, options);
    if (outcome.status == Status::Done && operation == Operation::Program && verifyAfterProgram) {
        VerifyAfterProgram(*family, outcome);
    } else {
        Report(outcome);
    }
    running_ = false;
}

void DeviceOperations::VerifyAfterProgram(const core::Family& family,
                                          const core::Outcome& programmed) {
    // The Working window stays up from the programming into the read-back.
    operation_ = Operation::Read;
    core::OperationOptions options;
    options.fastReceive = fastReceive;
    const core::Outcome readBack = engine_->VerifyAgainst(family, programmed.data, *this, options);
    if (readBack.status == Status::Aborted) {
        Report(readBack);
    } else {
        ReportVerify(readBack, &family);
    }
}

void DeviceOperations::Report(const core::Outcome& outcome) {
    if (outcome.status == Status::Aborted) {
        // The program is closing: the main window does not come back.
        if (working_) {
            working_ = false;
            host_.CloseWorking();
        }
        return;
    }
    if (outcome.operation == Operation::Verify) {
        ReportVerify(outcome, nullptr);
        return;
    }
    SetWorking(false);
    switch (outcome.status) {
    case Status::Done:
    case Status::Cancelled:
        return;
    case Status::NoAnswer:
        services_.messages.MsgBox(CheckPort, Critical);
        return;
    case Status::ShortAnswer:
        // A file that existed was replaced or kept as the user answered; a new one holds
        // what came.
        if (outcome.fileWritten && !outcome.targetExisted) {
            services_.messages.MsgBox(
                ShortRead.arg(outcome.received).arg(outcome.blockSize).arg(outcome.path),
                Exclamation);
        }
        return;
    default:
        ReportFailure(outcome);
    }
}

void DeviceOperations::ReportVerify(const core::Outcome& outcome, const core::Family* readBackOf) {
    // The result is shown while the Working window is still up. A read-back after a
    // programming names the first byte that differs; the adapter's compare cannot.
    switch (outcome.status) {
    case Status::Done:
        services_.messages.MsgBox(readBackOf ? ProgrammedAndVerified : VerifyOK, Information);
        break;
    case Status::Mismatch:
        if (readBackOf) {
            const core::Difference& first = outcome.differences.first();
            const QString count =
                outcome.differenceCount == 1
                    ? QStringLiteral("1 byte differs")
                    : QStringLiteral("%1 bytes differ").arg(outcome.differenceCount);
            services_.messages.MsgBox(
                VerifyErrorAt.arg(Hex(readBackOf->eepromFirst + first.offset, 4),
                                  Hex(first.expected, 2), Hex(first.found, 2), count),
                Exclamation);
        } else {
            services_.messages.MsgBox(VerifyError, Exclamation);
        }
        break;
    case Status::NoAnswer:
        services_.messages.MsgBox(CheckPort, Critical);
        break;
    case Status::ShortAnswer:
        services_.messages.MsgBox((readBackOf ? ReadBackIncomplete : VerifyIncomplete)
                                      .arg(outcome.received)
                                      .arg(outcome.blockSize),
                                  Exclamation);
        break;
    case Status::Cancelled:
        break;
    default:
        SetWorking(false);
        ReportFailure(outcome);
        return;
    }
    SetWorking(false);
}

void DeviceOperations::ReportFailure(const core::Outcome& outcome) {
    // After the chip was told to change, a failure leaves its contents unknown.
    const QString chipLine = outcome.chipWritten ? PartlyWritten : QString();
    if (outcome.status == Status::FileError) {
        const QString& words = outcome.writingFile ? CannotWriteImage : CannotReadImage;
        QString prompt = words.arg(outcome.path, outcome.message);
        if (!chipLine.isEmpty()) {
            prompt += QLatin1Char('\n') + chipLine;
        }
        services_.messages.MsgBox(prompt, Exclamation);
        return;
    }
    if (outcome.errorNumber == platform::ErrorNumber::IllegalCall) {
        services_.messages.MsgBox(
            chipLine.isEmpty() ? RestartProgram : RestartProgram + QLatin1Char('\n') + chipLine,
            Critical);
        return;
    }
    host_.SerialErrors(platform::RuntimeError(outcome.errorNumber, outcome.message), chipLine);
}

// ---- What the operation asks on its way ----

void DeviceOperations::OnProgress(const core::Progress& progress) {
    phase_ = progress.phase;
    switch (progress.phase) {
    case Phase::WaitingForAdapter:
    case Phase::Sending:
    case Phase::Settling:
    case Phase::Receiving:
        SetWorking(true);
        break;
    case Phase::Closing:
        // The one-command operations swap the windows back before the port closes.
        if (progress.operation == Operation::ClearWpo ||
            progress.operation == Operation::BulkErase) {
            SetWorking(false);
        }
        break;
    case Phase::Opening:
        break;
    }
    if (working_) {
        host_.ShowProgress(progress);
    }
}

std::optional<QString> DeviceOperations::ChooseReadTarget() {
    return services_.dialogs.ShowSave(ImageDialog(true));
}

std::optional<core::ImageSource> DeviceOperations::ChooseProgramSource() {
    const std::optional<QString> path = services_.dialogs.ShowOpen(ImageDialog(false));
    if (!path) {
        return std::nullopt;
    }
    return core::ImageSource{*path, std::nullopt};
}

bool DeviceOperations::AcceptImageSize(const QString&, qint64, int blockSize) {
    // A warning only: one block is sent in any case.
    services_.messages.MsgBox(blockSize == 512 ? SizeWarning512 : SizeWarning256, Exclamation);
    return true;
}

bool DeviceOperations::ReplaceWithShortRead(const QString& path, int received, int blockSize) {
    return services_.messages.MsgBox(
               OperationMessages::ReplaceWithShortRead.arg(received).arg(blockSize).arg(path),
               Exclamation | platform::MsgStyle::YesNo | platform::MsgStyle::DefaultButton2) ==
           platform::MsgAnswer::Yes;
}
