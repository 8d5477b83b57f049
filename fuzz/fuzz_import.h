// One CSV reader on arbitrary bytes. The first byte picks the options (rate,
// lap window, channel choice) and the rest is the file. An accepted file must
// give a session of the text export's shape that the text export carries
// over bit for bit; a refused one a one-line message naming the file; either
// way nothing is left behind.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "import/import.h"
#include "lx_data.h"

namespace lxfuzz {

inline lx::ImportOptions options_from(std::uint8_t b) {
    static const double rates[] = {0, 0, 0, 0, 1, 10, 25, 1000};
    lx::ImportOptions o;
    o.rate = rates[b & 7];
    if (b & 8) o.first_lap = o.last_lap = 1;
    if (b & 16) o.channels = "Time,speed,GPS Speed,Distance";
    return o;
}

inline void check_shape(const lx::Session* s) {
    if (s->nlaps < 1 || s->nlaps > lx::MAX_LAPS - 1) fail("lap count out of range");
    if (s->nchannels < 3 || s->nchannels > 116) fail("channel count out of range");
    if (std::strcmp(s->channels[1].name, "Time") != 0 ||
        std::strcmp(s->channels[2].name, "Distance") != 0)
        fail("channels 1 and 2 are not Time and Distance");
    for (int l = 0; l < s->nlaps; ++l) {
        const lx::Lap& lap = s->laps[l];
        if (lap.npoints < 1) fail("an empty lap");
        if (lap.raw[1][0] != 0.0f || lap.raw[2][0] != 0.0f)
            fail("a lap's Time or Distance does not start at 0");
        for (int j = 1; j < lap.npoints; ++j)
            if (lap.raw[1][j] < lap.raw[1][j - 1]) fail("Time runs backwards within a lap");
    }
}

// The text export written from the session reads back with the same samples.
inline void check_round_trip(int handle, const lx::Session* s) {
    static const std::string path = scratch_dir() + "/import-round-trip.txt";
    if (lx_write_text_export(handle, path.c_str()) != LX_OK) return; // titles too long for a line
    int back = lx_open_aim_xls(path.c_str());
    if (back == 0) fail("the written text export was refused");
    const lx::Session* b = lx::lookup_session(back);
    if (b->nlaps != s->nlaps || b->nchannels != s->nchannels)
        fail("the text export changed the shape");
    for (int l = 0; l < s->nlaps; ++l)
        for (int c = 0; c < s->nchannels; ++c)
            if (std::memcmp(s->laps[l].raw[c], b->laps[l].raw[c],
                            sizeof(float) * s->laps[l].npoints) != 0)
                fail("the text export changed a sample");
    lx_free_session(back);
}

inline int run_import(const std::uint8_t* data, std::size_t size, lx::FileFormat format) {
    if (size == 0) return 0;
    static const std::string path = scratch_dir() + "/import-input.csv";
    write_file(path, data + 1, size - 1);
    long baseline = lx::live_allocations();
    lx::ImportResult r = lx::import_csv(path.c_str(), format, options_from(data[0]));
    if ((r.session == nullptr) != (r.status != 0)) fail("status and session disagree");
    if (r.session == nullptr) {
        if (r.message.rfind(path, 0) != 0 || r.message.find('\n') != std::string::npos)
            fail("the message is not one line naming the file");
    } else {
        check_shape(r.session);
        int handle = lx::store_session(r.session);
        if (handle == 0) fail("no free handle");
        check_round_trip(handle, r.session);
        lx_free_session(handle);
    }
    check_clean(baseline);
    return 0;
}

} // namespace lxfuzz
