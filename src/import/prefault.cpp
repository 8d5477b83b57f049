#include "import/prefault.h"

#include <algorithm>
#include <cstdint>

#if defined(__linux__)
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace lx {

#if defined(__linux__) && defined(MADV_POPULATE_WRITE)

namespace {

#if defined(MADV_COLLAPSE)
constexpr int COLLAPSE = MADV_COLLAPSE;
#else
constexpr int COLLAPSE = 25; // Linux 6.1's MADV_COLLAPSE; older kernels refuse it
#endif
constexpr std::uintptr_t HUGE_PAGE = 2 * 1024 * 1024;

void advise(std::uintptr_t start, std::uintptr_t end, int advice) {
    if (end > start) madvise(reinterpret_cast<void*>(start), end - start, advice);
}

// Whole 2 MB pages where the run covers them (one mapping each instead of 512),
// then the run's remaining pages.
void map_run(std::uintptr_t start, std::uintptr_t end) {
    advise((start + HUGE_PAGE - 1) / HUGE_PAGE * HUGE_PAGE, end / HUGE_PAGE * HUGE_PAGE, COLLAPSE);
    advise(start, end, MADV_POPULATE_WRITE);
}

} // namespace

void prefault(std::vector<Block> blocks) {
    const auto page = std::uintptr_t(sysconf(_SC_PAGESIZE));
    std::sort(blocks.begin(), blocks.end(),
              [](const Block& a, const Block& b) { return a.start < b.start; });
    std::uintptr_t run_start = 0, run_end = 0;
    for (const Block& block : blocks) {
        auto address = reinterpret_cast<std::uintptr_t>(block.start);
        std::uintptr_t first = address / page * page;
        std::uintptr_t end = (address + block.bytes + page - 1) / page * page;
        // A block on the run's last page or the next one leaves no gap in it.
        if (first > run_end) {
            map_run(run_start, run_end);
            run_start = first;
        }
        run_end = std::max(run_end, end);
    }
    map_run(run_start, run_end);
}

#else

void prefault(std::vector<Block>) {}

#endif

} // namespace lx
