#include "fault_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <sstream>

#include "lx.h"
#include "support.h"

namespace lxfault {

int fail_each_allocation(const std::function<void()>& arrange, const std::function<int()>& act,
                         const std::function<void(const FailedRun&)>& check) {
    for (int n = 1;; ++n) {
        arrange();
        long before = lx::live_allocations();
        lx::fail_allocation_at(n);
        lxtest::StdoutCapture capture;
        int result = act();
        std::string out = capture.text();
        bool reached = !lx::allocation_failure_pending();
        lx::fail_allocation_at(0);
        if (!reached) return result;
        SCOPED_TRACE("allocation " + std::to_string(n) + " failed");
        check({n, result, out, lx::live_allocations() - before});
    }
}

std::string fingerprint(const lx::Session* s) {
    std::ostringstream f;
    f << s->filename << '|' << s->nchannels << '|' << s->nlaps << '|' << s->nfile_channels << '|'
      << s->sample_rate << '|' << s->beacon_shift;
    for (int id = 0; id < 10; ++id) f << ',' << lx::well_known_channel(s, id);
    for (int c = 0; c < s->nchannels; ++c)
        f << '|' << s->channels[c].name << '[' << s->channels[c].unit << ']'
          << s->channels[c].motec_id;
    for (int l = 0; l < s->nlaps; ++l) {
        const lx::Lap& lap = s->laps[l];
        f << "|lap" << lap.number << ':' << lap.npoints << ',' << lap.laptime << ','
          << lap.lap_length;
        for (int c = 0; c < s->nchannels; ++c)
            for (int j = 0; j < lap.npoints; ++j) {
                unsigned bits;
                std::memcpy(&bits, &lap.raw[c][j], sizeof bits);
                f << ' ' << bits;
            }
    }
    return f.str();
}

void free_quietly(int handle) {
    lxtest::StdoutCapture quiet;
    lx_free_session(handle);
}

void fill_distinct(lx::Session* s) {
    for (int l = 0; l < s->nlaps; ++l)
        for (int c = 2; c < s->nchannels; ++c)
            for (int j = 0; j < s->laps[l].npoints; ++j)
                s->laps[l].raw[c][j] = static_cast<float>(l * 1000 + c * 100 + j) * 0.25f;
}

} // namespace lxfault
