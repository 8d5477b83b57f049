// The input bytes are an export file: open it, ask everything about every
// channel and lap, free it, and check that nothing was left behind.
#include <cstddef>
#include <cstdint>

#include "fuzz_support.h"

namespace {

void query_everything(int h) {
    int channels = lx_num_channels(h);
    int laps = lx_num_laps(h);
    for (int c = -1; c <= channels; ++c) {
        lx_channel_name(h, c);
        lx_channel_max(h, c);
        lx_channel_min(h, c);
    }
    for (int id = LX_CHANNEL_DISTANCE - 1; id <= LX_CHANNEL_TIME_DIFF_RATE + 1; ++id)
        lx_channel_number(h, id);
    for (int l = -1; l <= laps; ++l) {
        lx_lap_length(h, l);
        for (int which = 0; which < 2; ++which)
            for (int unit = LX_UNIT_FEET; unit <= LX_UNIT_METRES; ++unit)
                lx_laptime_text(h, l, which, unit);
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    lxfuzz::silence_stdout();
    // Every trace and progress line runs too.
    lx::library.trace = {1, 0, lx::STANDARD_OUTPUT};
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string path = lxfuzz::scratch_dir() + "/reader-input.txt";
    lxfuzz::write_file(path, data, size);
    long baseline = lx::live_allocations();
    int h = lx_open_aim_xls(path.c_str());
    lxfuzz::check_count();
    if (h != 0) {
        if (lx::lookup_session(h) == nullptr) lxfuzz::fail("handle given without a session");
        query_everything(h);
        lx_free_session(h);
    } else if (lx::library.open_sessions != 0) {
        lxfuzz::fail("a refused file kept its handle");
    }
    lxfuzz::check_clean(baseline);
    return 0;
}
