// Edit > Find (with F3 and Shift+F3) and Edit > Go To: both land the cursor on a byte, on
// the page that paging would show it on.
#include "frmEditor.h"

#include "BusyScope.h"
#include "FindDialog.h"
#include "GoToDialog.h"
#include "grid/Grid.h"
#include "model/CellText.h"
#include "model/ImageSearch.h"
#include "platform/MessageBoxes.h"
#include "platform/RuntimeError.h"
#include "platform/Services.h"
#include "widgets/PictureBox.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

namespace MsgStyle = platform::MsgStyle;

namespace {

QString HexOffset(qint64 offset) {
    return QString::number(offset, 16).toUpper() + QLatin1Char('h');
}

} // namespace

void frmEditor::mnuFind_Click() {
    if (busy_ || !FileLoaded) {
        return;
    }
    if (!findDialog) {
        findDialog = new FindDialog(this);
        connect(findDialog, &FindDialog::FindNext, this, &frmEditor::FindDialog_FindNext);
        // F3 and Shift+F3 work in the dialog as well as in the window.
        findDialog->addAction(mnuFindNext);
        findDialog->addAction(mnuFindPrevious);
    }
    findDialog->show();
    findDialog->raise();
    findDialog->activateWindow();
    findDialog->txtFind->setFocus();
    findDialog->txtFind->selectAll();
}

void frmEditor::FindDialog_FindNext(bool forward) {
    QString error;
    const QString text = findDialog->txtFind->text();
    const std::optional<SearchPattern> pattern =
        findDialog->optHex->isChecked()
            ? SearchPattern::FromHex(text, &error)
            : SearchPattern::FromText(text, findDialog->chkMatchCase->isChecked(), &error);
    if (!pattern) {
        MsgBox(error, MsgStyle::Exclamation);
        return;
    }
    if (!lastPattern_ || lastPattern_->bytes != pattern->bytes ||
        lastPattern_->matchCase != pattern->matchCase) {
        lastMatch_ = 0; // a new pattern may match right at the cursor
    }
    lastPattern_ = pattern;
    FindNext(forward);
}

void frmEditor::FindNext(bool forward) {
    if (busy_ || finished_ || !FileLoaded) {
        return;
    }
    if (!lastPattern_) {
        mnuFind_Click();
        return;
    }
    CompletePending();
    // A search starts at the cursor; when the cursor stands on the last match, beside it.
    const qint64 cursor = CursorPosition();
    const qint64 from = cursor != lastMatch_ ? cursor : forward ? cursor + 1 : cursor - 1;
    stopSearch_ = false;
    bool progressShown = false;
    ImageSearch::Result result;
    try {
        BusyScope busy(busy_, cmdStop, [this] { stopSearch_ = true; });
        result = ImageSearch::Find(image_, *lastPattern_, from, forward, [&](int percent) {
            // Only a search that outlasts its first chunk shows its progress.
            if (!progressShown) {
                StartProgress(tr("Searching... (Esc or Stop ends the search)"));
                cmdStop->show();
                progressShown = true;
            }
            ShowProgress(percent);
            return !stopSearch_;
        });
    } catch (const platform::RuntimeError& failure) {
        ShowError(failure);
        result.outcome = ImageSearch::Outcome::Stopped;
    }
    Picture1->hide();
    cmdStop->hide();
    switch (result.outcome) {
    case ImageSearch::Outcome::Found:
        lastMatch_ = result.position;
        ShowPosition(result.position);
        break;
    case ImageSearch::Outcome::NotFound:
        MsgBox((forward ? tr("\"%1\" was not found from offset %2 to the end of the file.")
                        : tr("\"%1\" was not found from offset %2 back to the start of the file."))
                   .arg(lastPattern_->shown, HexOffset(cursor - 1)),
               MsgStyle::Information);
        break;
    case ImageSearch::Outcome::Stopped:
        break;
    }
}

void frmEditor::mnuGoTo_Click() {
    if (busy_ || !FileLoaded) {
        return;
    }
    if (!goToDialog) {
        goToDialog = new GoToDialog(this);
        connect(goToDialog, &GoToDialog::Go, this, [this](const QString& text) {
            if (GoToOffset(text)) {
                goToDialog->accept();
            }
        });
    }
    const qint64 last = image_.Length() - 1;
    goToDialog->lblRange->setText(
        tr("&Offset from 0 to %1 (0h to %2), in decimal or in hex as 1F40h, 0x1F40 or $1F40:")
            .arg(last)
            .arg(HexOffset(last)));
    goToDialog->txtOffset->clear();
    goToDialog->open();
}

bool frmEditor::GoToOffset(const QString& text) {
    if (busy_ || !FileLoaded) {
        return false;
    }
    CompletePending();
    const qint64 last = image_.Length() - 1;
    const std::optional<qint64> offset = CellText::ParseOffset(text);
    QString refusal;
    if (!offset) {
        refusal = tr("\"%1\" is not an offset. Enter one from 0 to %2 (0h to %3), in decimal or in "
                     "hex as 1F40h, 0x1F40 or $1F40.")
                      .arg(text.trimmed())
                      .arg(last)
                      .arg(HexOffset(last));
    } else if (*offset > last) {
        refusal = tr("Offset %1 lies past the end of the file. Enter one from 0 to %2 (0h to %3).")
                      .arg(text.trimmed())
                      .arg(last)
                      .arg(HexOffset(last));
    }
    if (!refusal.isEmpty()) {
        MsgBox(refusal, MsgStyle::Exclamation);
        return false;
    }
    ShowPosition(*offset + 1);
    return true;
}
