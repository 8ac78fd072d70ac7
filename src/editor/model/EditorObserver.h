#pragma once

#include <QString>
#include <optional>

namespace platform {
class RuntimeError;
}

// What the editor's document needs from whoever shows it: the progress of long work, the
// questions it asks on the way, what it tells, and another file to write to. The window
// answers with its boxes and dialogs; tests answer from a script.
class EditorObserver {
public:
    enum class Answer { Yes, No, Cancel };
    enum class Tone { Information, Warning };

    virtual ~EditorObserver() = default;

    // A long piece of work starts (stoppable: it can be stopped by the user), then reports the
    // share done; false stops it. WorkOver follows whatever the end.
    virtual void WorkStarts(const QString& caption, bool stoppable) = 0;
    virtual bool WorkProgress(int percent) = 0;
    virtual void WorkOver() = 0;

    // A Yes/No question (Yes/No/Cancel with cancel); defaultNo when No is the safe answer.
    virtual Answer Ask(const QString& question, bool cancel, Tone tone, bool defaultNo) = 0;
    virtual void Tell(const QString& message, Tone tone) = 0;
    virtual void Fail(const platform::RuntimeError& error) = 0;
    // The file Save As writes to; none when the user cancels.
    virtual std::optional<QString> SaveAsTarget() = 0;
    // The program is ending: whatever runs stops at its next step and nothing asks.
    virtual bool Ending() const = 0;
};
