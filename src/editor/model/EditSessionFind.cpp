#include "CellText.h"
#include "EditSession.h"
#include "ImageSearch.h"
#include "LateProgress.h"
#include "platform/RuntimeError.h"

#include <QCoreApplication>
#include <functional>

using platform::RuntimeError;
using Tone = EditorObserver::Tone;
using Answer = EditorObserver::Answer;

namespace {

QString Tr(const char* text) {
    return QCoreApplication::translate("EditSession", text);
}

} // namespace

// ---- Find and go to ----

std::optional<qint64> EditSession::SearchFrom(qint64 from, bool forward) {
    ImageSearch::Result result;
    try {
        LateProgress progress(observer_, Tr("Searching... (Esc or Stop ends the search)"));
        result =
            ImageSearch::Find(document_.Image(), *lastPattern_, from, forward, std::ref(progress));
    } catch (const RuntimeError& error) {
        document_.Fail(error);
        result.outcome = ImageSearch::Outcome::Stopped;
    }
    if (result.outcome == ImageSearch::Outcome::Found) {
        return result.position;
    }
    if (result.outcome == ImageSearch::Outcome::Stopped) {
        return 0;
    }
    return std::nullopt;
}

bool EditSession::Find(const SearchPattern& pattern, bool forward) {
    if (!lastPattern_ || lastPattern_->bytes != pattern.bytes ||
        lastPattern_->matchCase != pattern.matchCase) {
        lastMatch_ = 0; // a new pattern may match right at the cursor
    }
    lastPattern_ = pattern;
    return FindAgain(forward);
}

bool EditSession::FindAgain(bool forward) {
    if (!Loaded() || !lastPattern_ || observer_.Ending()) {
        return false;
    }
    CompletePending();
    // A search starts at the cursor; when the cursor stands on the last match, beside it.
    const qint64 cursor = view_.position;
    const qint64 from = cursor != lastMatch_ ? cursor : forward ? cursor + 1 : cursor - 1;
    std::optional<qint64> found = SearchFrom(from, forward);
    if (!found) {
        // At the end (or the start), the search may go on from the other end up to where it
        // started.
        const QString question =
            forward ? Tr("\"%1\" was not found from offset %2 to the end of the file. Go on from "
                         "the start?")
                    : Tr("\"%1\" was not found from offset %2 back to the start of the file. Go "
                         "on from the end?");
        if (observer_.Ask(
                question.arg(lastPattern_->shown, document_.OffsetText(document_.OffsetOf(cursor))),
                false, Tone::Information, false) != Answer::Yes) {
            return false;
        }
        found = SearchFrom(forward ? 1 : document_.Length(), forward);
        if (found && *found != 0 && (forward ? *found >= from : *found <= from)) {
            found.reset(); // only the matches already passed over are new
        }
        if (!found) {
            observer_.Tell(Tr("\"%1\" was not found in the file.").arg(lastPattern_->shown),
                           Tone::Information);
            return false;
        }
    }
    if (*found == 0) {
        return false; // stopped
    }
    lastMatch_ = *found;
    ShowFound(*found);
    return true;
}

bool EditSession::GoTo(const QString& text) {
    if (!Loaded()) {
        return false;
    }
    CompletePending();
    const std::optional<qint64> offset = CellText::ParseOffset(text);
    QString refusal;
    if (!offset) {
        refusal = Tr("\"%1\" is not an offset. Enter one %2, in decimal or in hex as 1F40h, "
                     "0x1F40 or $1F40.")
                      .arg(text.trimmed(), document_.OffsetRange());
    } else if (*offset < document_.Base() || *offset - document_.Base() >= document_.Length()) {
        refusal = Tr("Offset %1 lies outside the file. Enter one %2.")
                      .arg(text.trimmed(), document_.OffsetRange());
    }
    if (!refusal.isEmpty()) {
        observer_.Tell(refusal, Tone::Warning);
        return false;
    }
    ShowFound(*offset - document_.Base() + 1);
    return true;
}
