// Moving the page through the working image: by row, by page, and to either end.
#include "frmEditor.h"

#include "grid/Grid.h"
#include "model/Paging.h"

void frmEditor::MovePage(qint64 newStart) {
    PageStart = newStart;
    FillGrid();
}

void frmEditor::MoveNextLine() {
    CompletePending();
    if (const auto start =
            Paging::NextLine(PageStart, image_.Length(), grid1->Rows(), endOfFile_)) {
        MovePage(*start);
    }
}

void frmEditor::MoveNextPage() {
    CompletePending();
    if (const auto start =
            Paging::NextPage(PageStart, image_.Length(), grid1->Rows(), endOfFile_)) {
        MovePage(*start);
    }
}

void frmEditor::MovePreviousLine() {
    CompletePending();
    MovePage(Paging::PreviousLine(PageStart));
}

void frmEditor::MovePreviousPage() {
    CompletePending();
    if (const auto start = Paging::PreviousPage(PageStart)) {
        MovePage(*start);
    }
}

void frmEditor::MoveFirst() {
    CompletePending();
    MovePage(1);
}

void frmEditor::MoveLast() {
    CompletePending();
    MovePage(Paging::Last(image_.Length()));
}
