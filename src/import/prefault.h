// Maps in the pages of freshly allocated blocks with one call per run of
// neighbouring blocks, in 2 MB pages where a run spans them: on a virtual
// machine a page fault per first write costs more than reading the samples
// that fill the page.
#pragma once

#include <cstddef>
#include <vector>

namespace lx {

struct Block {
    void* start;
    std::size_t bytes;
};

// A hint only: where the system cannot (not Linux, an older kernel) the
// pages come in at their first write as usual. Contents are untouched.
void prefault(std::vector<Block> blocks);

} // namespace lx
