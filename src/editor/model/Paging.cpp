#include "Paging.h"

#include <algorithm>

namespace Paging {

using namespace PageGeometry;

std::optional<qint64> NextLine(qint64 pageStart, qint64 length, int rows, bool endOfFile) {
    if (rows < RowsPerPage || endOfFile || pageStart + BytesPerRow > length) {
        return std::nullopt;
    }
    return pageStart + BytesPerRow;
}

std::optional<qint64> NextPage(qint64 pageStart, qint64 length, int rows, bool endOfFile) {
    if (rows < RowsPerPage || endOfFile) {
        return std::nullopt;
    }
    // At the end the page starts one row earlier than Last's: the two end rules differ.
    const qint64 next = pageStart + BytesPerPage < length
                            ? pageStart + BytesPerPage
                            : BytesPerRow * (length / BytesPerRow) - BytesPerPage + 1;
    return std::max<qint64>(next, 1);
}

qint64 PreviousLine(qint64 pageStart) {
    return std::max<qint64>(pageStart - BytesPerRow, 1);
}

std::optional<qint64> PreviousPage(qint64 pageStart) {
    if (pageStart < 2) {
        return std::nullopt;
    }
    return std::max<qint64>(pageStart - BytesPerPage, 1);
}

qint64 Last(qint64 length) {
    return std::max<qint64>(
        BytesPerRow * (length / BytesPerRow) + 1 - (RowsPerPage - 1) * BytesPerRow, 1);
}

qint64 PageFor(qint64 position, qint64 length) {
    const qint64 start = 1 + BytesPerPage * ((position - 1) / BytesPerPage);
    return start + BytesPerPage - 1 <= length ? start : Last(length);
}

} // namespace Paging
