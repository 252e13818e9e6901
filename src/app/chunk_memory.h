#pragma once

#include <cstddef>
#include <memory>

// Memory for stores that cut many small blocks from a few large chunks: chunks are whole multiples
// of 2 MB, the size of a huge page, so that a million rows fault in a few dozen pages instead of
// tens of thousands.
namespace ChunkMemory {
inline constexpr size_t kChunkBytes = size_t(2) << 20;

struct Free {
    void operator()(char* chunk) const;
};
using Chunk = std::unique_ptr<char, Free>;

// A chunk of at least `bytes` (rounded up to whole 2 MB); throws std::bad_alloc.
Chunk allocate(size_t bytes, size_t* size);
} // namespace ChunkMemory
