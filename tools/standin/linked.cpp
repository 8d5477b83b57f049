// The other way a front-end reaches the library: linked against it (on
// Windows through the import library) with the declarations of lx.h.
#include <cstdio>

#include "lx.h"

int main() {
    std::printf("linked: open %d laps %d name %s\n", lx_open_aim_xls("no-such-file.txt"),
                lx_num_laps(1), lx_channel_name(1, 0) == nullptr ? "null" : "text");
    std::printf("linked: step %d shift %a\n", lx_compute_error_channel_step(1, 1, 0, 1),
                static_cast<double>(lx_get_beacon_shift(1)));
    lx_free_session(1);
    return 0;
}
