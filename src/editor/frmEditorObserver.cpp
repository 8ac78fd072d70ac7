// The window as the document's observer: the progress bar with its Stop button, the message
// boxes the document's questions go to, and the Save As dialog.
#include "frmEditor.h"

#include "BusyScope.h"
#include "OpenDialog.h"
#include "common/Module1.h"
#include "platform/Clock.h"
#include "platform/FileDialogs.h"
#include "platform/MessageBoxes.h"
#include "platform/RuntimeError.h"
#include "platform/Services.h"
#include "widgets/PictureBox.h"

#include <QEvent>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QWindow>

namespace MsgAnswer = platform::MsgAnswer;
namespace MsgStyle = platform::MsgStyle;

frmEditor::Nested::Nested(frmEditor& editor, bool answered) : editor_(editor) {
    ++editor_.yielding_;
    if (answered && editor_.busyScope_) {
        lifted_ = editor_.busyScope_.get();
        lifted_->Lift();
    }
}

frmEditor::Nested::~Nested() {
    if (lifted_ && lifted_ == editor_.busyScope_.get()) {
        lifted_->Restore();
    }
    if (--editor_.yielding_ == 0 && editor_.deleteRequested_) {
        editor_.deleteRequested_ = false;
        editor_.deleteLater(); // handled once the routine that yielded has returned
    }
}

void frmEditor::Yield() {
    const Nested nested(*this);
    services_.clock.ProcessEvents(services_.clock.NowMs());
}

int frmEditor::MsgBox(const QString& prompt, int style) {
    const Nested nested(*this, true);
    return services_.messages.MsgBox(prompt, style, caption_);
}

bool frmEditor::event(QEvent* event) {
    // Let go while one of the window's routines waits in Yield (the program is ending): the
    // routine stops at its next step and the window goes after it, never under it.
    if (event->type() == QEvent::DeferredDelete && yielding_ > 0) {
        ending_ = true;
        deleteRequested_ = true;
        stop_ = true;
        document_.Image().Abort();
        return true;
    }
    // The window manager frames the window only after its first showing: once the frame is
    // known, the window is fitted again with it (else the title bar pushes it off the screen).
    if (fitted_ && !framed_ && windowHandle() && !windowHandle()->frameMargins().isNull()) {
        framed_ = true;
        QTimer::singleShot(0, this, &frmEditor::FitScreen);
    }
    return QMainWindow::event(event);
}

void frmEditor::WorkStarts(const QString& caption, bool stoppable) {
    stop_ = false;
    Picture1->Cls();
    Picture1->Refresh();
    shownPercent_ = 0;
    Label8->setText(caption);
    Picture1->show();
    if (stoppable) {
        cmdStop->show();
    }
    busyScope_ = std::make_unique<BusyScope>(
        busy_, stoppable ? cmdStop : nullptr,
        stoppable ? std::function<void()>([this] { stop_ = true; }) : std::function<void()>());
    Yield();
}

bool frmEditor::WorkProgress(int percent) {
    ShowProgress(percent);
    return !stop_ && !ending_;
}

void frmEditor::WorkOver() {
    busyScope_.reset();
    Picture1->hide();
    cmdStop->hide();
}

void frmEditor::ShowProgress(int percent) {
    // A large file reports the same percentage for many pieces in a row: the bar is drawn
    // again only when it grows, and the window handles its events then, or when 5 ms have
    // passed (a thousand yields a second cost a tenth of a copy's speed, and show nothing).
    const double now = services_.clock.NowMs();
    if (percent != shownPercent_) {
        shownPercent_ = percent;
        const int width = qRound(Picture1->ScaleWidth() / 100.0 * percent);
        Picture1->FillBox(QRect(0, 0, width, Picture1->ScaleHeight()), Picture1->ForeColor());
        Picture1->Refresh();
    } else if (now - lastYieldMs_ < 5) {
        return;
    }
    lastYieldMs_ = now;
    Yield();
}

EditorObserver::Answer frmEditor::Ask(const QString& question, bool cancel, Tone tone,
                                      bool defaultNo) {
    if (ending_) {
        return cancel ? Answer::Cancel : Answer::No;
    }
    int style = (cancel ? MsgStyle::YesNoCancel : MsgStyle::YesNo) |
                (tone == Tone::Warning ? MsgStyle::Exclamation : MsgStyle::Question);
    if (defaultNo) {
        style |= MsgStyle::DefaultButton2;
    }
    switch (MsgBox(question, style)) {
    case MsgAnswer::Yes:
        return Answer::Yes;
    case MsgAnswer::No:
        return Answer::No;
    default:
        // Esc and the close box: nothing is done, nothing is lost.
        return cancel ? Answer::Cancel : Answer::No;
    }
}

void frmEditor::Tell(const QString& message, Tone tone) {
    if (!ending_) {
        MsgBox(message, tone == Tone::Warning ? MsgStyle::Exclamation : MsgStyle::Information);
    }
}

void frmEditor::Fail(const platform::RuntimeError& error) {
    if (!ending_) {
        MsgBox(QString::number(error.Number()) + QLatin1Char('\n') + error.Description(),
               MsgStyle::OKOnly);
    }
}

std::optional<QString> frmEditor::SaveAsTarget() {
    platform::FileDialogOptions options;
    options.title = tr("Save As");
    options.filter = Module1::DialogFilter(OpenFilter);
    options.defaultExt = QStringLiteral("bin");
    options.initialDir = Module1::FolderOf(document_.SourceName());
    options.confirmOverwrite = true;
    std::optional<QString> target;
    {
        const Nested nested(*this, true);
        target = services_.dialogs.ShowSave(options);
    }
    if (ending_ || !target || target->isEmpty()) {
        return std::nullopt;
    }
    return target;
}
