#pragma once

#include "core/Operations.h"
#include "core/OutcomeWords.h"
#include "production/ProductionRun.h"
#include "production/Recipe.h"

#include <QString>
#include <memory>

class OperationHost;

namespace platform {
struct Services;
class RuntimeError;
} // namespace platform

// The five operations as the main window runs them: the guards, the file dialogs and the
// size warning asked for by the operation at their places on the wire, the Working window
// around the data phase, and each outcome turned into the program's messages and a result
// line for the status bar.
class DeviceOperations : private core::OperationObserver {
public:
    DeviceOperations(platform::Services& services, OperationHost& host);
    ~DeviceOperations() override;

    // Each takes the chosen family code ("" when none is chosen).
    void Read(const QString& deviceCode);
    void Program(const QString& deviceCode);
    void Verify(const QString& deviceCode);
    void ClearWpo(const QString& deviceCode);
    void BulkErase(const QString& deviceCode);
    // Reads the chip back and compares it with an image file the user picks.
    void VerifyAgainstFile(const QString& deviceCode);

    // READ and VERIFY take the adapter's bytes as they arrive.
    bool fastReceive = false;
    // PROGRAM reads the chip back and compares it with the image.
    bool verifyAfterProgram = false;
    // BULK ERASE reads the chip back and checks that every byte is FFh.
    bool verifyAfterErase = false;
    // The chosen chip, as messages and S-record headers name it ("TMS370C756A").
    QString deviceName;
    // The recipe in force (Production ▸ Open Recipe): PROGRAM programs its image with its
    // patches, serial numbers and journal, without asking for a file.
    std::optional<production::Recipe> recipe;
    // The chosen port as the journal names it: "Comm2", and the device it opens.
    QString portName;
    QString portDevice;

    // True from the first step of an operation to its last.
    bool Running() const { return running_; }
    // The operation running, or the last one run.
    core::Operation RunningOperation() const { return operation_; }
    // A PROGRAM or BULK ERASE is reading the chip back: the chip is written, the compare not
    // yet made.
    bool ReadingBack() const { return running_ && readingBack_; }
    // The chip is being written: stopping now leaves it partly written.
    bool WritingChip() const;
    // Ends a running operation at its next wait: file and port closed, no window shown.
    void Abort();
    // Ends a READ or VERIFY at its next wait (Cancel in the Working window).
    void Cancel();

private:
    // The operation's guards; the family when it may run.
    const core::Family* Admit(core::Operation operation, const QString& deviceCode);
    void Begin(core::Operation operation, const core::Family& family);
    void Run(core::Operation operation, const QString& deviceCode);
    // A production run (settings section Production): the journal opened and, for PROGRAM
    // with serial numbers on, the next number taken, before anything is sent. False, after
    // telling the user why, when the operation must not run.
    bool StartJournal(core::Operation operation);
    // The operation's row, and its number used up or given back.
    // The row of the operation run (a read-back's is that of the PROGRAM or BULK ERASE it
    // checks).
    void FinishJournal(const core::Outcome& last);
    void EraseAndCheck(const core::Family& family, const core::OperationOptions& options);
    void Report(const core::Outcome& outcome);
    void ReportVerify(const core::Outcome& outcome);
    void ReportFailure(const core::Outcome& outcome, const core::OutcomeWording& words);
    void ShowResult(const core::OutcomeWording& words, core::Status status);
    void SetWorking(bool up);
    // The block an image file describes, asking first when a raw-named file holds records
    // whether to program (or to compare with) the data they describe. Nothing when the user
    // said No; a refusal or no block when it cannot be used. A format given is taken as it is,
    // whatever the file's name says.
    std::optional<core::ImageSource>
    LoadImage(const QString& path, const core::Family& family, bool comparing,
              QString* unreadable = nullptr,
              std::optional<core::ImageFormat> format = std::nullopt);

    void OnProgress(const core::Progress& progress) override;
    std::optional<QString> ChooseReadTarget() override;
    std::optional<core::ImageSource> ChooseProgramSource() override;
    bool AcceptImageSize(const QString& path, qint64 size, int blockSize) override;
    bool ReplaceReadOnly(const QString& path) override;
    bool ReplaceWithShortRead(const QString& path, int received, int blockSize) override;

    platform::Services& services_;
    OperationHost& host_;
    std::unique_ptr<core::Operations> engine_;
    bool running_ = false;
    bool working_ = false; // the Working window is up
    core::Operation operation_ = core::Operation::Read;
    bool readingBack_ = false;
    core::Phase phase_ = core::Phase::Opening;
    core::OutcomeContext context_;

    // The operation's journal, its number and its row.
    std::unique_ptr<production::ProductionRun> run_;
    QString imagePath_;
};
