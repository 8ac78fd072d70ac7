#include "ImageSearch.h"

#include "WorkImage.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <vector>

namespace ImageSearch {

namespace {

// The first place needle occurs in haystack, or nullptr.
const char* Search(const char* haystack, qint64 size, const QByteArray& needle) {
#if defined(__GLIBC__)
    return static_cast<const char*>(
        ::memmem(haystack, static_cast<size_t>(size), needle.constData(), needle.size()));
#else
    const char* end = haystack + size;
    const char* hit = std::search(
        haystack, end, std::boyer_moore_horspool_searcher(needle.constBegin(), needle.constEnd()));
    return hit == end ? nullptr : hit;
#endif
}

int Percent(qint64 done, qint64 total) {
    return static_cast<int>(done * 100 / std::max<qint64>(total, 1));
}

} // namespace

Result Find(WorkImage& image, const SearchPattern& pattern, qint64 from, bool forward,
            const Progress& progress, qint64 chunkSize) {
    const qint64 m = pattern.bytes.size();
    const qint64 lastStart = image.Length() - m + 1;
    const auto& fold = CaseFold();
    // Each chunk holds the starts of chunkSize matches and the m - 1 bytes after them.
    std::vector<char> buffer(static_cast<std::size_t>(chunkSize + m - 1));
    std::vector<char> work;
    if (!forward || !pattern.matchCase) {
        work.resize(buffer.size());
    }
    // Backward, the chunk is searched reversed, for the reversed pattern: the first match
    // there is the last one in the chunk.
    QByteArray needle = pattern.bytes;
    if (!forward) {
        std::reverse(needle.begin(), needle.end());
    }
    const auto searchChunk = [&](qint64 start, qint64 starts) -> std::optional<qint64> {
        const qint64 got = image.ReadAt(start, buffer.data(), starts + m - 1);
        const auto byte = [&](char b) {
            return pattern.matchCase ? b : static_cast<char>(fold[static_cast<unsigned char>(b)]);
        };
        const char* haystack = buffer.data();
        if (!forward) {
            std::transform(buffer.rbegin() + (buffer.size() - got), buffer.rend(), work.begin(),
                           byte);
            haystack = work.data();
        } else if (!pattern.matchCase) {
            std::transform(buffer.begin(), buffer.begin() + got, work.begin(), byte);
            haystack = work.data();
        }
        const char* hit = Search(haystack, got, needle);
        if (hit == nullptr) {
            return std::nullopt;
        }
        const qint64 index = forward ? hit - haystack : got - (hit - haystack) - m;
        return start + index;
    };

    if (m == 0 || lastStart < 1) {
        return {};
    }
    if (forward) {
        const qint64 first = std::max<qint64>(from, 1);
        for (qint64 start = first; start <= lastStart; start += chunkSize) {
            const qint64 starts = std::min(chunkSize, lastStart - start + 1);
            if (const auto at = searchChunk(start, starts)) {
                return {Outcome::Found, *at};
            }
            if (start + starts <= lastStart && progress &&
                !progress(Percent(start + starts - first, lastStart - first + 1))) {
                return {Outcome::Stopped, 0};
            }
        }
    } else {
        const qint64 top = std::min(from, lastStart);
        for (qint64 end = top; end >= 1; end -= chunkSize) {
            const qint64 start = std::max<qint64>(1, end - chunkSize + 1);
            if (const auto at = searchChunk(start, end - start + 1)) {
                return {Outcome::Found, *at};
            }
            if (start > 1 && progress && !progress(Percent(top - start + 1, top))) {
                return {Outcome::Stopped, 0};
            }
        }
    }
    return {};
}

} // namespace ImageSearch
