#include "app/chunk_memory.h"

#include <algorithm>
#include <cstdlib>
#include <new>

#include <sys/mman.h>

namespace ChunkMemory {

void Free::operator()(char* chunk) const {
    std::free(chunk);
}

Chunk allocate(size_t bytes, size_t* size) {
    *size = (std::max(kChunkBytes, bytes) + kChunkBytes - 1) / kChunkBytes * kChunkBytes;
    char* chunk = static_cast<char*>(std::aligned_alloc(kChunkBytes, *size));
    if (!chunk)
        throw std::bad_alloc();
    madvise(chunk, *size, MADV_HUGEPAGE);
    return Chunk(chunk);
}

} // namespace ChunkMemory
