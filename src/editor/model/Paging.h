#pragma once

#include "PageGeometry.h"

#include <optional>

// Where each move of the editor's page lands: the new 1-based start of the page, or none
// when the move does nothing (no redraw). length is the working image's length, rows the
// rows the page shows now, endOfFile whether its last row was read short.
namespace Paging {

std::optional<qint64> NextLine(qint64 pageStart, qint64 length, int rows, bool endOfFile);
std::optional<qint64> NextPage(qint64 pageStart, qint64 length, int rows, bool endOfFile);
// Always redraws, also at the top.
qint64 PreviousLine(qint64 pageStart);
std::optional<qint64> PreviousPage(qint64 pageStart);
// The page whose twentieth row holds the last byte (or is the row just past the end when
// the length is a multiple of 16).
qint64 Last(qint64 length);
// The page that shows 1-based position the way paging from the start does: the whole page
// that holds it, or near the end, where no whole page is left, Last's page.
qint64 PageFor(qint64 position, qint64 length);

} // namespace Paging
