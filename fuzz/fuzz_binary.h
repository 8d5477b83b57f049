// One binary reader on arbitrary bytes. The first byte picks the options and
// the rest is the file. An accepted file must give a session of the text
// export's shape that the LD writer writes and the LD reader reads back with
// the same laps; a refused one a one-line message naming the file; either way
// nothing is left behind.
#pragma once

#include "fuzz_import.h"

namespace lxfuzz {

// A window of laps or a choice of channels leaves the file's own lap
// channels out of step with the samples kept: only the whole file's laps,
// counted by the writer's own lap channels, must come back.
inline void check_ld_round_trip(const lx::Session* s, bool whole) {
    static const std::string path = scratch_dir() + "/binary-round-trip.ld";
    std::string message;
    if (lx::write_ld(*s, path.c_str(), message) != 0) {
        if (message.rfind(path, 0) != 0) fail("a write failure that does not name the file");
        return;
    }
    lx::ImportResult back = lx::import_ld(path.c_str(), {});
    if (back.session == nullptr) fail(("the written LD was refused: " + back.message).c_str());
    check_shape(back.session);
    // Laps of one sample each in a row leave no restart to find, and a lap
    // channel of the file's own may hold times a float cannot carry exactly.
    for (int l = 0; l < s->nlaps; ++l) whole = whole && s->laps[l].npoints > 1;
    for (int c = 0; c < s->nchannels; ++c)
        whole = whole && std::strcmp(s->channels[c].name, "Running_Lap_Time") != 0;
    if (whole && back.session->nlaps != s->nlaps) fail("the written LD gives other laps");
    lx::free_session(back.session);
}

inline int run_binary(const std::uint8_t* data, std::size_t size,
                      lx::ImportResult (*reader)(const char*, const lx::ImportOptions&)) {
    if (size == 0) return 0;
    static const std::string path = scratch_dir() + "/binary-input";
    write_file(path, data + 1, size - 1);
    long baseline = lx::live_allocations();
    lx::ImportResult r = reader(path.c_str(), options_from(data[0]));
    if ((r.session == nullptr) != (r.status != 0)) fail("status and session disagree");
    if (r.session == nullptr) {
        if (r.message.rfind(path, 0) != 0 || r.message.find('\n') != std::string::npos)
            fail("the message is not one line naming the file");
    } else {
        check_shape(r.session);
        check_ld_round_trip(r.session, (data[0] & 24) == 0);
        lx::free_session(r.session);
    }
    check_clean(baseline);
    return 0;
}

} // namespace lxfuzz
