#include "Paging.h"

#include <algorithm>

namespace Paging {

std::optional<qint64> NextLine(qint64 pageStart, qint64 length, int rows, bool endOfFile) {
    if (rows < PageRows || endOfFile || pageStart + RowBytes > length) {
        return std::nullopt;
    }
    return pageStart + RowBytes;
}

std::optional<qint64> NextPage(qint64 pageStart, qint64 length, int rows, bool endOfFile) {
    if (rows < PageRows || endOfFile) {
        return std::nullopt;
    }
    // At the end the page starts one row earlier than Last's: the two end rules differ.
    const qint64 next = pageStart + PageBytes < length
                            ? pageStart + PageBytes
                            : RowBytes * (length / RowBytes) - PageBytes + 1;
    return std::max<qint64>(next, 1);
}

qint64 PreviousLine(qint64 pageStart) {
    return std::max<qint64>(pageStart - RowBytes, 1);
}

std::optional<qint64> PreviousPage(qint64 pageStart) {
    if (pageStart < 2) {
        return std::nullopt;
    }
    return std::max<qint64>(pageStart - PageBytes, 1);
}

qint64 Last(qint64 length) {
    return std::max<qint64>(RowBytes * (length / RowBytes) + 1 - (PageRows - 1) * RowBytes, 1);
}

} // namespace Paging
