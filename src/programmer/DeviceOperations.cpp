#include "DeviceOperations.h"

#include "OperationHost.h"
#include "OperationMessages.h"
#include "core/Checksums.h"
#include "core/FileReplace.h"
#include "core/ImageFile.h"
#include "platform/Clock.h"
#include "platform/FileDialogs.h"
#include "platform/MessageBoxes.h"
#include "platform/RuntimeError.h"
#include "platform/Services.h"
#include "production/ProductionSettings.h"

#include <QFileInfo>

using namespace OperationMessages;
using core::Operation;
using core::Phase;
using core::Status;
using platform::MsgStyle::Critical;
using platform::MsgStyle::Exclamation;
using platform::MsgStyle::Information;

namespace {

// Every format the programmer reads and writes first, then the legacy filters.
const QString ImageFilter =
    QStringLiteral("Images (*.bin *.hex *.ihx *.ihex *.srec *.s19 *.s28 *.s37 *.mot)|"
                   "*.bin;*.hex;*.ihx;*.ihex;*.srec;*.s19;*.s28;*.s37;*.mot|"
                   "*.bin files|*.bin|*.hex files|*.hex|"
                   "Intel HEX (*.ihx *.ihex *.hex)|*.ihx;*.ihex;*.hex|"
                   "S-records (*.srec *.s19 *.s28 *.s37 *.mot)|*.srec;*.s19;*.s28;*.s37;*.mot|"
                   "All files (*)|*");

platform::FileDialogOptions ImageDialog(bool save, const QString& title = QString()) {
    platform::FileDialogOptions options;
    options.title = title;
    options.filter = ImageFilter;
    options.defaultExt = QStringLiteral("bin");
    options.fileMustExist = !save;
    options.confirmOverwrite = save;
    return options;
}

// A failure that concerns the port or the adapter rather than a file.
bool PortOrAdapterFailure(Status status) {
    return status == Status::NoAnswer || status == Status::ShortAnswer ||
           status == Status::PortError;
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
    return running_ && core::ChangesChip(operation_) && !readingBack_ &&
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

const core::Family* DeviceOperations::Admit(Operation operation, const QString& deviceCode) {
    // A click while an operation runs (inside one of its waits) is ignored.
    if (running_) {
        return nullptr;
    }
    const core::Family* family = core::FindFamily(deviceCode);
    if (!family) {
        services_.messages.MsgBox(SelectDevice, Exclamation);
        return nullptr;
    }
    if (family->Refuses(operation)) {
        services_.messages.MsgBox(NotSupported, Exclamation);
        return nullptr;
    }
    if (!engine_) {
        services_.messages.MsgBox(CheckPort, Critical);
        return nullptr;
    }
    return family;
}

void DeviceOperations::Begin(Operation operation, const core::Family& family) {
    running_ = true;
    working_ = false;
    readingBack_ = false;
    operation_ = operation;
    phase_ = Phase::Opening;
    context_ = core::OutcomeContext();
    context_.family = &family;
    context_.device = deviceName.isEmpty() ? QStringLiteral("the chip") : deviceName;
    context_.notReadBack = QStringLiteral("Verify After Program is off");
    imagePath_.clear();
}

void DeviceOperations::Run(Operation operation, const QString& deviceCode) {
    const core::Family* family = Admit(operation, deviceCode);
    if (!family) {
        return;
    }
    Begin(operation, *family);
    if (!StartJournal(operation)) {
        running_ = false;
        return;
    }
    core::OperationOptions options;
    options.fastReceive = fastReceive || (recipe && recipe->Switch(QStringLiteral("fast")));
    options.deviceName = deviceName;
    if (operation == Operation::BulkErase && verifyAfterErase) {
        EraseAndCheck(*family, options);
        running_ = false;
        return;
    }
    if (operation != Operation::Program) {
        const core::Outcome outcome = engine_->Run(operation, *family, *this, options);
        Report(outcome);
        FinishJournal(outcome);
        running_ = false;
        return;
    }
    const production::ProductionRun::Programmed programmed = run_->Program(
        *engine_, *family, *this, options,
        verifyAfterProgram && !(recipe && recipe->Switch(QStringLiteral("no-verify"))), [this] {
            // The Working window stays up from the programming into the read-back.
            readingBack_ = true;
            context_.afterProgram = true;
            return true;
        });
    if (programmed.same) {
        SetWorking(false);
        host_.ShowResult(run_->SameLine(context_.device, context_.file));
        host_.ShowChipResult(QStringLiteral("SAME"), true);
        FinishJournal(programmed.program);
    } else if (!programmed.readBack) {
        Report(programmed.program);
        FinishJournal(programmed.program);
    } else {
        if (programmed.readBack->status == Status::Aborted) {
            Report(*programmed.readBack);
        } else {
            ReportVerify(*programmed.readBack);
        }
        FinishJournal(*programmed.readBack);
    }
    running_ = false;
}

// BULK ERASE, which the adapter does not answer, then the chip read back against FFh.
void DeviceOperations::EraseAndCheck(const core::Family& family,
                                     const core::OperationOptions& options) {
    const core::Outcome erased = engine_->Run(Operation::BulkErase, family, *this, options);
    if (erased.status != Status::Done) {
        Report(erased);
        FinishJournal(erased);
        return;
    }
    readingBack_ = true;
    const core::Outcome blank =
        engine_->VerifyAgainst(family, QByteArray(family.blockSize, char(0xFF)), *this, options);
    if (blank.status == Status::Done ||
        (blank.status == Status::Mismatch && !blank.differences.isEmpty())) {
        SetWorking(false);
        const QString text = core::BlankCheckText(blank, family, true);
        host_.ShowResult(text);
        if (blank.status == Status::Mismatch) {
            services_.messages.MsgBox(text, Exclamation);
        }
    } else if (blank.status == Status::Aborted) {
        Report(blank);
    } else {
        ReportVerify(blank);
    }
    FinishJournal(blank);
}

void DeviceOperations::VerifyAgainstFile(const QString& deviceCode) {
    // The chip is read back: any family that can be read can be compared.
    const core::Family* family = Admit(Operation::Read, deviceCode);
    if (!family) {
        return;
    }
    const std::optional<QString> path =
        services_.dialogs.ShowOpen(ImageDialog(false, QStringLiteral("Verify Against File")));
    if (!path) {
        return;
    }
    QString unreadable;
    const std::optional<core::ImageSource> image = LoadImage(*path, *family, true, &unreadable);
    if (!image) {
        return; // the user chose not to use it
    }
    QString refusal = image->refusal;
    if (refusal.isEmpty() && !image->block) {
        refusal = unreadable;
    }
    if (refusal.isEmpty() && image->block->size() > family->blockSize) {
        refusal = QStringLiteral("it is %1 bytes long, the block is %2 bytes")
                      .arg(image->block->size())
                      .arg(family->blockSize);
    }
    if (!refusal.isEmpty()) {
        services_.messages.MsgBox(
            QStringLiteral("The image file \"%1\" cannot be compared with the chip: %2.")
                .arg(*path, refusal),
            Exclamation);
        return;
    }
    // A short raw image stands for what PROGRAM sends: the rest of the block erased.
    QByteArray expected = *image->block;
    expected.append(family->blockSize - expected.size(), char(0xFF));

    Begin(Operation::Verify, *family);
    context_.file = QFileInfo(*path).fileName();
    imagePath_ = *path;
    if (!StartJournal(Operation::Verify)) {
        running_ = false;
        return;
    }
    core::OperationOptions options;
    options.fastReceive = fastReceive;
    const core::Outcome outcome = engine_->VerifyAgainst(*family, expected, *this, options);
    if (outcome.status == Status::Aborted) {
        Report(outcome);
    } else {
        ReportVerify(outcome);
    }
    FinishJournal(outcome);
    running_ = false;
}

void DeviceOperations::ShowResult(const core::OutcomeWording& words, Status status) {
    // A numbered chip's result, large, for whoever stands at the bench.
    const std::optional<core::HeldNumber>& held = run_->Held();
    const bool verified = run_->Verified();
    if (!held || status == Status::Cancelled) {
        host_.ShowChipResult(QString(), false);
    } else if (verified) {
        host_.ShowChipResult(QStringLiteral("PASS serial %1").arg(held->number), true);
    } else {
        host_.ShowChipResult(QStringLiteral("FAIL \u2014 serial %1 given back").arg(held->number),
                             false);
    }
    if (!held) {
        host_.ShowResult(words.summary);
    } else if (verified) {
        host_.ShowResult(QStringLiteral("PROGRAM: serial %1 verified (%2), %3 into %4, %5")
                             .arg(held->number)
                             .arg(run_->WrittenNumber(), context_.file, context_.device,
                                  core::ChecksumText(run_->Sent())));
    } else {
        host_.ShowResult(
            QStringLiteral("%1; serial %2 given back").arg(words.summary).arg(held->number));
    }
}

// ---- The journal ----

bool DeviceOperations::StartJournal(Operation operation) {
    run_ = std::make_unique<production::ProductionRun>(services_.clock);
    core::ProductionSettings::Values production =
        core::ProductionSettings::Load(services_.settings);
    if (recipe) {
        // Checked when it was opened: only a recipe that applies is in force.
        QString why;
        if (const std::optional<production::RecipeRun> run =
                production::ApplyRecipe(*recipe, production, &why)) {
            production = run->production;
            if (operation == Operation::Program) {
                why = run->patches.Conflict(*context_.family, production.serial);
                if (!why.isEmpty()) {
                    services_.messages.MsgBox(
                        QStringLiteral("The recipe %1 cannot apply to %2, so nothing was sent "
                                       "to the adapter:\n%3")
                            .arg(recipe->name, context_.device, why),
                        Exclamation);
                    return false;
                }
                run_->SetPatches(run->patches);
            }
        }
    }
    const bool numbered = operation == Operation::Program && production.serial;
    if (production.journal.isEmpty()) {
        if (numbered) {
            services_.messages.MsgBox(QStringLiteral("Serial numbers need a journal to keep "
                                                     "their series: name one in Production "
                                                     "▸ Serial Numbers."),
                                      Exclamation);
            return false;
        }
        return true;
    }
    if (const auto refusal =
            run_->Open(production.journal, portDevice, production.storeTimeoutSeconds)) {
        services_.messages.MsgBox(
            QStringLiteral("The journal cannot be reached, so nothing was sent to the "
                           "adapter:\n%1")
                .arg(refusal->why),
            Exclamation);
        return false;
    }
    if (numbered) {
        if (const auto refusal =
                run_->TakeNumber(production.series, portDevice, production.leaseSeconds,
                                 *production.serial, *context_.family)) {
            const QString& why = refusal->why;
            services_.messages.MsgBox(
                refusal->kind == production::ProductionRun::Refusal::Kind::Outside
                    ? why.mid(why.indexOf(QLatin1Char(' ')) + 1) + QLatin1Char('.')
                    : QStringLiteral("No serial number, so nothing was sent to the adapter:\n%1")
                          .arg(why),
                Exclamation);
            return false;
        }
    }
    run_->Begin();
    return true;
}

void DeviceOperations::FinishJournal(const core::Outcome& last) {
    // A read-back belongs to the PROGRAM it checks.
    const production::ProductionRun::Recorded recorded =
        run_->Record(readingBack_ ? operation_ : last.operation, &last,
                     {portName, portDevice, context_.device, imagePath_,
                      recipe ? recipe->name : QString(), recipe ? recipe->sha256 : QString()});
    if (!recorded.written) {
        const QString text =
            QStringLiteral("The journal could not be written: %1").arg(recorded.why);
        host_.ShowResult(text);
        // The journal's words say where the result was kept, or what a person must settle.
        services_.messages.MsgBox(text, Exclamation);
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
        ReportVerify(outcome);
        return;
    }
    const core::OutcomeWording words = core::Describe(outcome, context_);
    SetWorking(false);
    ShowResult(words, outcome.status);
    switch (outcome.status) {
    case Status::Done:
    case Status::Cancelled:
        return;
    case Status::NoAnswer:
        services_.messages.MsgBox(words.Message(), Critical);
        break;
    case Status::ShortAnswer:
        // A file that existed was replaced or kept as the user answered; a new one holds
        // what came.
        if (outcome.fileWritten && !outcome.targetExisted) {
            services_.messages.MsgBox(
                ShortRead.arg(outcome.received).arg(outcome.blockSize).arg(outcome.path),
                Exclamation);
        }
        break;
    default:
        ReportFailure(outcome, words);
        return;
    }
    host_.FreePortMenu();
}

void DeviceOperations::ReportVerify(const core::Outcome& outcome) {
    // The adapter's own compare shows its result while the Working window is still up; a
    // compare with a file or with what PROGRAM sent is a success without a box, and the
    // Working window is gone before any box.
    const bool adaptersCompare = !readingBack_ && imagePath_.isEmpty();
    if (!adaptersCompare) {
        SetWorking(false);
    }
    const core::OutcomeWording words = core::Describe(outcome, context_);
    ShowResult(words, outcome.status);
    switch (outcome.status) {
    case Status::Done:
        if (adaptersCompare) {
            services_.messages.MsgBox(words.headline, Information);
        }
        break;
    case Status::Mismatch:
        services_.messages.MsgBox(words.headline, Exclamation);
        break;
    case Status::NoAnswer:
        services_.messages.MsgBox(words.Message(), Critical);
        break;
    case Status::ShortAnswer:
        services_.messages.MsgBox(words.Message(), Exclamation);
        break;
    case Status::Cancelled:
        break;
    default:
        SetWorking(false);
        ReportFailure(outcome, words);
        return;
    }
    SetWorking(false);
    if (PortOrAdapterFailure(outcome.status)) {
        host_.FreePortMenu();
    }
}

void DeviceOperations::ReportFailure(const core::Outcome& outcome,
                                     const core::OutcomeWording& words) {
    if (outcome.status == Status::FileError) {
        services_.messages.MsgBox(words.Message(), Exclamation);
        return;
    }
    // What became of the file and of the chip, under the port's own words.
    QStringList extra;
    if (!words.fileState.isEmpty()) {
        extra << words.fileState + QLatin1Char('.');
    }
    if (!words.chipState.isEmpty()) {
        extra << words.chipState;
    }
    const QString extraLines = extra.join(QLatin1Char('\n'));
    if (outcome.errorNumber == platform::ErrorNumber::IllegalCall) {
        services_.messages.MsgBox(
            extraLines.isEmpty() ? RestartProgram : RestartProgram + QLatin1Char('\n') + extraLines,
            Critical);
        host_.FreePortMenu();
        return;
    }
    host_.SerialErrors(platform::RuntimeError(outcome.errorNumber, outcome.message), extraLines);
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
    std::optional<QString> path = services_.dialogs.ShowSave(ImageDialog(true));
    if (path) {
        imagePath_ = *path;
        context_.file = QFileInfo(*path).fileName();
        context_.format = core::ImageFormatOfPath(*path);
    }
    return path;
}

std::optional<core::ImageSource> DeviceOperations::ChooseProgramSource() {
    const std::optional<QString> path = recipe && recipe->Value(QStringLiteral("input"))
                                            ? recipe->Value(QStringLiteral("input"))
                                            : services_.dialogs.ShowOpen(ImageDialog(false));
    if (!path) {
        return std::nullopt;
    }
    context_.file = QFileInfo(*path).fileName();
    imagePath_ = *path;
    // A held number is patched in by the production run.
    // A recipe may name its image's format, as tms370's -f does.
    const std::optional<QString> format =
        recipe ? recipe->Value(QStringLiteral("format")) : std::nullopt;
    return LoadImage(*path, *context_.family, false, nullptr,
                     format ? core::ParseImageFormat(*format) : std::nullopt);
}

std::optional<core::ImageSource>
DeviceOperations::LoadImage(const QString& path, const core::Family& family, bool comparing,
                            QString* unreadable, std::optional<core::ImageFormat> given) {
    core::ImageSource source(path);
    core::ImageFormat format = given.value_or(core::ImageFormatOfPath(path));
    QString why;
    const std::optional<QByteArray> content = core::ReadImageFile(
        path, format == core::ImageFormat::Raw ? core::MaxRawImageSize : core::MaxTextImageSize,
        &why);
    if (!content) {
        if (unreadable) {
            *unreadable = why;
        }
        return source; // without a block: PROGRAM reads it again and reports why it cannot
    }
    if (format == core::ImageFormat::Raw) {
        // The text of records is never sent as if it were the chip's bytes.
        if (const std::optional<core::ImageFormat> records = core::RecordsFormatOf(*content)) {
            const QString question =
                QStringLiteral("%1 holds %2, not raw bytes. %3 the data they describe?")
                    .arg(QFileInfo(path).fileName(), core::RecordsWords(*records),
                         comparing ? QStringLiteral("Compare with") : QStringLiteral("Program"));
            if (services_.messages.MsgBox(question, platform::MsgStyle::Question |
                                                        platform::MsgStyle::YesNo) !=
                platform::MsgAnswer::Yes) {
                return std::nullopt;
            }
            format = *records;
        }
    }
    if (format == core::ImageFormat::Raw) {
        source.block = *content;
        return source;
    }
    if (std::optional<QByteArray> block = core::DecodeRecords(*content, format, family, &why)) {
        source.block = *block;
    } else {
        source.refusal = why;
    }
    return source;
}

bool DeviceOperations::AcceptImageSize(const QString& path, qint64 size, int blockSize) {
    const QString legacy = blockSize == 512 ? SizeWarning512 : SizeWarning256;
    const QString what =
        size < blockSize
            ? QStringLiteral("The rest is filled with FFh.")
            : QStringLiteral("The bytes past the first %1 are not sent.").arg(blockSize);
    const QString details = QStringLiteral("%1 is %2 bytes; the %3 block is %4 bytes. %5")
                                .arg(QFileInfo(path).fileName())
                                .arg(size)
                                .arg(context_.device)
                                .arg(blockSize)
                                .arg(what);
    return services_.messages.MsgBox(legacy + QLatin1Char('\n') + details,
                                     Exclamation | platform::MsgStyle::OKCancel) ==
           platform::MsgAnswer::OK;
}

bool DeviceOperations::ReplaceReadOnly(const QString& path) {
    return services_.messages.MsgBox(core::ReplaceReadOnlyQuestion(path),
                                     platform::MsgStyle::Question | platform::MsgStyle::YesNo |
                                         platform::MsgStyle::DefaultButton2) ==
           platform::MsgAnswer::Yes;
}

bool DeviceOperations::ReplaceWithShortRead(const QString& path, int received, int blockSize) {
    return services_.messages.MsgBox(
               OperationMessages::ReplaceWithShortRead.arg(received).arg(blockSize).arg(path),
               Exclamation | platform::MsgStyle::YesNo | platform::MsgStyle::DefaultButton2) ==
           platform::MsgAnswer::Yes;
}
