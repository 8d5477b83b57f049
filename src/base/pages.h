// Large blocks straight from the system with their pages mapped in by one
// call, in 2 MB pages where the system offers them: on a virtual machine a
// page fault per first write costs more than reading the samples that fill
// the page, and a block given back is not kept by the C library for later.
#pragma once

#include <cstddef>

namespace lx {

// Uninitialized as far as the caller may assume; null when refused.
void* map_pages(std::size_t bytes);
// bytes as given to map_pages; a null block is ignored.
void unmap_pages(void* block, std::size_t bytes);

} // namespace lx
