#pragma once

#include "CommandLine.h"
#include "core/Operations.h"

#include <QElapsedTimer>
#include <QString>

class QTextStream;

namespace cli {

class Interrupts;

// The operation's progress on stderr: on a terminal one bar redrawn in place (bytes, rate,
// time left), otherwise one line per phase, so a log stays readable. Quiet prints nothing.
// It answers the operation's questions as a script would want: the block stays in memory and
// the image to send is the one already loaded. As JSON Lines, for a program that wraps the tool,
// each phase has its first and last line and at most ten a second between.
class ProgressReport : public core::OperationObserver {
public:
    ProgressReport(QTextStream& err, bool terminal, ProgressStyle style, Interrupts* interrupts);
    ~ProgressReport() override;

    // The image PROGRAM sends.
    void SetSource(const core::ImageSource& source) { source_ = source; }
    // Ends a bar that is still drawn, before anything else is printed.
    void Finish();

    void OnProgress(const core::Progress& progress) override;
    std::optional<QString> ChooseReadTarget() override { return QString(); }
    std::optional<core::ImageSource> ChooseProgramSource() override { return source_; }

private:
    void DrawBar(const core::Progress& progress);
    void PrintPhase(const core::Progress& progress);
    void WriteJson(const core::Progress& progress, bool newPhase);

    QTextStream& err_;
    bool terminal_;
    ProgressStyle style_;
    Interrupts* interrupts_;
    std::optional<core::ImageSource> source_;
    bool started_ = false;
    core::Phase phase_ = core::Phase::Opening;
    double phaseStartMs_ = 0;
    bool barShown_ = false;
    int barLength_ = 0;
    QElapsedTimer sinceDrawn_;
    double jsonWrittenMs_ = 0; // on the operation's clock
    bool phaseEndWritten_ = false;
};

} // namespace cli
