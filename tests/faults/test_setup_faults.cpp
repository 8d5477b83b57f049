// Every allocation of the setup exports fails in turn: the export refuses with
// add_channel's message, keeps the channels it added before, leaks nothing,
// leaves other sessions alone and works when called again.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fault_support.h"
#include "lx.h"
#include "support.h"

using namespace lxtest;

namespace {

using Field = int* (*)(lx::Session*);

template <int lx::Session::*member> int* field(lx::Session* s) {
    return &(s->*member);
}
int* error_channel(lx::Session*) {
    return &lx::library.error_channel;
}
int* beacon_channel(lx::Session*) {
    return &lx::library.beacon_channel;
}

struct SetupExport {
    decltype(&lx_session_setup) call; // keeps the exports' calling convention
    std::vector<Field> fields;        // where each new channel's number goes, in the order added
};

const std::vector<int> LAP_POINTS{4, 0, 7}; // an empty lap still gets its own array
constexpr int FILE_CHANNELS = 6;

std::string add_channel_failure(int lap, int channel) {
    return "Could not allocate memory for channel!\nadd_channel: lap[" + std::to_string(lap) +
           "].raw[" + std::to_string(channel) + "], malloc(" + std::to_string(LAP_POINTS[lap] * 4) +
           ")\n";
}

void check_setup_faults(const SetupExport& setup) {
    close_all_sessions();
    const long start = lx::live_allocations();
    lx::Session* other = make_session({5, 3}, 10.0f, 4);
    lxfault::fill_distinct(other);
    install(other);
    const std::string other_before = lxfault::fingerprint(other);

    const int laps = static_cast<int>(LAP_POINTS.size());
    const int added = static_cast<int>(setup.fields.size());
    lx::Session* s = nullptr;
    int h = 0;
    int failures = 0;
    auto arrange = [&] {
        if (h != 0) lxfault::free_quietly(h);
        s = make_session(LAP_POINTS, 10.0f, FILE_CHANNELS - 3);
        lxfault::fill_distinct(s);
        h = install(s);
        lx::library.error_channel = lx::library.beacon_channel = 0;
    };
    auto check = [&](const lxfault::FailedRun& run) {
        ++failures;
        int k = (run.nth - 1) / laps; // the channel being added
        int lap = (run.nth - 1) % laps;
        EXPECT_EQ(run.result, 0);
        EXPECT_EQ(run.out, add_channel_failure(lap, FILE_CHANNELS + k));
        EXPECT_EQ(s->nchannels, FILE_CHANNELS + k);
        for (int i = 0; i < added; ++i)
            EXPECT_EQ(*setup.fields[i](s), i < k ? FILE_CHANNELS + i : 0) << "field " << i;
        for (int c = 0; c < s->nchannels; ++c) EXPECT_EQ(s->channels[c].motec_id, 0);
        // The failed channel's arrays for earlier laps were given back.
        EXPECT_EQ(run.blocks_added, k * laps);
        EXPECT_EQ(lx::library.open_sessions, 2);
        EXPECT_EQ(lxfault::fingerprint(other), other_before);
        // Memory is back: the same call now goes through.
        EXPECT_EQ(setup.call(h), 1);
        EXPECT_EQ(s->nchannels, FILE_CHANNELS + k + added);
        EXPECT_EQ(*setup.fields.back()(s), FILE_CHANNELS + k + added - 1);
    };
    EXPECT_EQ(lxfault::fail_each_allocation(
                  arrange, [&] { return setup.call(h); }, check),
              1);
    EXPECT_EQ(failures, added * laps);
    EXPECT_EQ(s->nchannels, FILE_CHANNELS + added);

    close_all_sessions();
    EXPECT_EQ(lx::live_allocations(), start);
}

} // namespace

TEST(SetupFaults, EverySetupExportFailsCleanlyAtEveryAllocation) {
    using S = lx::Session;
    const SetupExport exports[] = {
        {lx_session_setup,
         {field<&S::i_latg>, field<&S::i_longg>, field<&S::i_distance>, field<&S::i_seglen>,
          field<&S::i_speed>, field<&S::i_radius>}},
        {lx_analysis_setup, {field<&S::i_tdiff>, field<&S::i_tdiff_dt>}},
        {lx_beacon_setup, {error_channel, beacon_channel}},
        {lx_map_setup, {field<&S::i_map_x>, field<&S::i_map_y>}},
    };
    for (const SetupExport& setup : exports) {
        SCOPED_TRACE(&setup - exports); // which export, in table order
        check_setup_faults(setup);
    }
}

TEST(SetupFaults, SessionSetupAfterAFailureLeadsToWorkingMath) {
    close_all_sessions();
    int h = install(make_session(LAP_POINTS, 10.0f, 3));
    lx::fail_allocation_at(5);
    {
        StdoutCapture quiet;
        EXPECT_EQ(lx_session_setup(h), 0);
    }
    EXPECT_EQ(lx_compute_session_math(h, 3, 4, LX_SPEED_KMH, 0, 5, 0), 0);
    EXPECT_EQ(lx_session_setup(h), 1);
    EXPECT_EQ(lx_compute_session_math(h, 3, 4, LX_SPEED_KMH, 0, 5, 0), 1);
    close_all_sessions();
}
