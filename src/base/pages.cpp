#include "base/pages.h"

#include <cstdlib>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace lx {

#if defined(__linux__)

void* map_pages(std::size_t bytes) {
    void* block = mmap(nullptr, bytes ? bytes : 1, PROT_READ | PROT_WRITE,
                       MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (block == MAP_FAILED) return nullptr;
    // Hints only: an older kernel refuses them and the pages come in at their
    // first write as usual.
    madvise(block, bytes, MADV_HUGEPAGE);
#if defined(MADV_POPULATE_WRITE)
    madvise(block, bytes, MADV_POPULATE_WRITE);
#endif
    return block;
}

void unmap_pages(void* block, std::size_t bytes) {
    if (block != nullptr) munmap(block, bytes ? bytes : 1);
}

#else

void* map_pages(std::size_t bytes) {
    return std::malloc(bytes ? bytes : 1);
}

void unmap_pages(void* block, std::size_t) {
    std::free(block);
}

#endif

} // namespace lx
