#include "ProgressReport.h"

#include "Interrupts.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTextStream>
#include <cmath>

namespace cli {

namespace {

using core::Phase;

constexpr int BarWidth = 24;
// Redrawing the bar more often than this only costs time on a slow terminal.
constexpr qint64 RedrawMs = 100;

QString PhaseLine(const core::Progress& progress) {
    switch (progress.phase) {
    case Phase::Opening:
        return QStringLiteral("opening the port");
    case Phase::WaitingForAdapter:
        return QStringLiteral("waiting for the adapter");
    case Phase::Receiving:
        return progress.operation == core::Operation::Verify
                   ? QStringLiteral("receiving %1 verify answers").arg(progress.total)
                   : QStringLiteral("receiving %1 bytes").arg(progress.total);
    case Phase::Sending:
        return QStringLiteral("sending %1 bytes").arg(progress.total);
    case Phase::Settling:
        switch (progress.operation) {
        case core::Operation::ClearWpo:
            return QStringLiteral("clearing the WPO register");
        case core::Operation::BulkErase:
            return QStringLiteral("erasing the EEPROM");
        default:
            return QStringLiteral("waiting %1 s for the chip to store the data")
                .arg(progress.total / 1000.0, 0, 'f', 1);
        }
    case Phase::Closing:
        return QStringLiteral("closing the port");
    }
    return QString();
}

// The phase as a word a program can match.
const char* PhaseWord(Phase phase) {
    switch (phase) {
    case Phase::Opening:
        return "opening";
    case Phase::WaitingForAdapter:
        return "waiting";
    case Phase::Receiving:
        return "receiving";
    case Phase::Sending:
        return "sending";
    case Phase::Settling:
        return "settling";
    case Phase::Closing:
        break;
    }
    return "closing";
}

} // namespace

ProgressReport::ProgressReport(QTextStream& err, bool terminal, ProgressStyle style,
                               Interrupts* interrupts)
    : err_(err), terminal_(terminal), style_(style), interrupts_(interrupts) {}

ProgressReport::~ProgressReport() {
    Finish();
}

void ProgressReport::OnProgress(const core::Progress& progress) {
    if (interrupts_) {
        interrupts_->OnProgress(progress.cancellable);
    }
    const bool newPhase = !started_ || progress.phase != phase_;
    if (newPhase) {
        started_ = true;
        phase_ = progress.phase;
        phaseStartMs_ = progress.elapsedMs;
    }
    if (style_ == ProgressStyle::None) {
        return;
    }
    if (style_ == ProgressStyle::Json) {
        WriteJson(progress, newPhase);
        return;
    }
    if (!terminal_) {
        if (newPhase) {
            PrintPhase(progress);
        }
        return;
    }
    const bool last = progress.done == progress.total;
    if (newPhase || last || !sinceDrawn_.isValid() || sinceDrawn_.elapsed() >= RedrawMs) {
        DrawBar(progress);
    }
}

void ProgressReport::PrintPhase(const core::Progress& progress) {
    err_ << "tms370: " << core::OperationName(progress.operation) << ": " << PhaseLine(progress)
         << '\n';
    err_.flush();
}

void ProgressReport::WriteJson(const core::Progress& progress, bool newPhase) {
    const bool last = progress.done >= progress.total;
    if (newPhase) {
        phaseEndWritten_ = false;
    } else if (last ? phaseEndWritten_ : progress.elapsedMs - jsonWrittenMs_ < RedrawMs) {
        return;
    }
    phaseEndWritten_ = last;
    jsonWrittenMs_ = progress.elapsedMs;
    const QJsonObject line{{"operation", core::OperationName(progress.operation)},
                           {"phase", PhaseWord(progress.phase)},
                           {"done", progress.done},
                           {"total", progress.total},
                           {"eta_s", std::round(progress.leftMs / 100) / 10}};
    err_ << QJsonDocument(line).toJson(QJsonDocument::Compact) << '\n';
    err_.flush();
}

void ProgressReport::DrawBar(const core::Progress& progress) {
    sinceDrawn_.start();
    const int total = std::max(progress.total, 1);
    const int filled = int(std::lround(double(BarWidth) * progress.done / total));
    QString line = QStringLiteral("%1 [%2%3] ")
                       .arg(core::OperationName(progress.operation), -10)
                       .arg(QString(filled, u'#'), QString(BarWidth - filled, u'.'));
    const double phaseSeconds = (progress.elapsedMs - phaseStartMs_) / 1000.0;
    switch (progress.phase) {
    case Phase::Receiving:
    case Phase::Sending:
        line += QStringLiteral("%1/%2 B").arg(progress.done, 3).arg(progress.total);
        if (phaseSeconds > 0.05 && progress.done > 0) {
            line += QStringLiteral("  %1 B/s").arg(std::lround(progress.done / phaseSeconds));
        }
        break;
    default:
        line += PhaseLine(progress);
        break;
    }
    if (progress.phase != Phase::Closing) {
        line += QStringLiteral("  ") + core::TimeLeftText(progress.leftMs);
    }
    // Blanks wipe what a longer line before left on the terminal.
    const int length = int(line.size());
    if (length < barLength_) {
        line += QString(barLength_ - length, u' ');
    }
    barLength_ = length;
    err_ << '\r' << line;
    err_.flush();
    barShown_ = true;
}

void ProgressReport::Finish() {
    if (barShown_) {
        err_ << '\n';
        err_.flush();
        barShown_ = false;
        barLength_ = 0;
    }
}

} // namespace cli
