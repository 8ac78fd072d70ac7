#include "ImageSearch.h"

#include "WorkImage.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <vector>

namespace ImageSearch {

namespace {

// The first place needle occurs in [begin, end), or nullptr.
const char* Search(const char* begin, const char* end, const QByteArray& needle) {
#if defined(__GLIBC__)
    return static_cast<const char*>(
        ::memmem(begin, static_cast<size_t>(end - begin), needle.constData(), needle.size()));
#else
    const char* hit = std::search(
        begin, end, std::boyer_moore_horspool_searcher(needle.constBegin(), needle.constEnd()));
    return hit == end ? nullptr : hit;
#endif
}

// The first or the last byte equal to value among [begin, end), or nullptr.
const char* Find(const char* begin, const char* end, unsigned char value, bool first) {
    const auto size = static_cast<size_t>(end - begin);
    if (first) {
        return static_cast<const char*>(std::memchr(begin, value, size));
    }
#if defined(__GLIBC__)
    return static_cast<const char*>(::memrchr(begin, value, size));
#else
    for (const char* p = end; p != begin; --p) {
        if (static_cast<unsigned char>(p[-1]) == value) {
            return p - 1;
        }
    }
    return nullptr;
#endif
}

int Percent(qint64 done, qint64 total) {
    return static_cast<int>(done * 100 / std::max<qint64>(total, 1));
}

// Finds the pattern in a chunk of bytes: the first match (forward) or the last (backward).
class ChunkSearch {
public:
    ChunkSearch(const SearchPattern& pattern, bool forward)
        : pattern_(pattern.bytes), forward_(forward), matchCase_(pattern.matchCase),
          fold_(CaseFold()) {
        // Any case: a match starts with a byte that folds to the pattern's first.
        for (int b = 0; b < 256; ++b) {
            if (fold_[b] == static_cast<unsigned char>(pattern_[0])) {
                firstBytes_.push_back(static_cast<unsigned char>(b));
            }
        }
    }

    // The index of the match among the starts 0 .. size - m, or -1.
    qint64 In(const char* data, qint64 size) const {
        const qint64 m = pattern_.size();
        if (size < m) {
            return -1;
        }
        return matchCase_ ? Exact(data, size) : AnyCase(data, data + size - m + 1);
    }

private:
    qint64 Exact(const char* data, qint64 size) const {
        const char* end = data + size;
        const char* hit = Search(data, end, pattern_);
        // Backward: the last of the chunk's matches; the search ends with the first chunk
        // that has one, so this never goes over more than one chunk.
        for (const char* next = hit; !forward_ && next != nullptr;
             next = Search(next + 1, end, pattern_)) {
            hit = next;
        }
        return hit == nullptr ? -1 : hit - data;
    }

    // Each byte that can begin a match is looked for on its own (memchr is many times
    // faster than folding the whole chunk); the nearest candidate is checked first.
    qint64 AnyCase(const char* data, const char* startsEnd) const {
        std::vector<const char*> next;
        for (const unsigned char b : firstBytes_) {
            next.push_back(Find(data, startsEnd, b, forward_));
        }
        for (;;) {
            int k = -1;
            for (int i = 0; i < int(next.size()); ++i) {
                if (next[i] != nullptr &&
                    (k < 0 || (forward_ ? next[i] < next[k] : next[i] > next[k]))) {
                    k = i;
                }
            }
            if (k < 0) {
                return -1;
            }
            const char* at = next[k];
            if (Matches(at)) {
                return at - data;
            }
            next[k] = forward_ ? Find(at + 1, startsEnd, firstBytes_[k], true)
                               : Find(data, at, firstBytes_[k], false);
        }
    }

    bool Matches(const char* at) const {
        for (qsizetype j = 1; j < pattern_.size(); ++j) {
            if (fold_[static_cast<unsigned char>(at[j])] !=
                static_cast<unsigned char>(pattern_[j])) {
                return false;
            }
        }
        return true;
    }

    const QByteArray& pattern_;
    bool forward_;
    bool matchCase_;
    const std::array<unsigned char, 256>& fold_;
    std::vector<unsigned char> firstBytes_;
};

} // namespace

Result Find(WorkImage& image, const SearchPattern& pattern, qint64 from, bool forward,
            const Progress& progress, qint64 chunkSize) {
    const qint64 m = pattern.bytes.size();
    const qint64 lastStart = image.Length() - m + 1;
    if (m == 0 || lastStart < 1) {
        return {};
    }
    const ChunkSearch search(pattern, forward);
    // Each chunk holds the starts of chunkSize matches and the m - 1 bytes after them.
    std::vector<char> buffer(static_cast<std::size_t>(chunkSize + m - 1));
    const auto searchChunk = [&](qint64 start, qint64 starts) -> std::optional<qint64> {
        const qint64 got = image.ReadAt(start, buffer.data(), starts + m - 1);
        const qint64 index = search.In(buffer.data(), got);
        return index < 0 ? std::nullopt : std::optional<qint64>(start + index);
    };

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
