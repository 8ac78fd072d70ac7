#pragma once

#include "SearchPattern.h"

#include <QtGlobal>
#include <functional>

class WorkImage;

// Find in the working image, read chunk by chunk so memory stays bounded whatever the size;
// a match across the end of a chunk is found all the same.
namespace ImageSearch {

constexpr qint64 ChunkSize = qint64(1) << 20;

enum class Outcome { Found, NotFound, Stopped };

struct Result {
    Outcome outcome = Outcome::NotFound;
    qint64 position = 0; // 1-based start of the match
};

// Called after each chunk but the last with the share done; false stops the search.
using Progress = std::function<bool(int percent)>;

// The nearest match starting at from or after it (forward), or at from or before it
// (backward); from is 1-based.
Result Find(WorkImage& image, const SearchPattern& pattern, qint64 from, bool forward,
            const Progress& progress, qint64 chunkSize = ChunkSize);

} // namespace ImageSearch
