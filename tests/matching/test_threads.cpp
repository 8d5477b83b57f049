// Lap matching through the data API on 1, 2 and 3 threads against the
// exports of lx.h: the same bits, and the same end of the error channel.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "data/handles.h"
#include "gen.h"
#include "lx_data.h"
#include "support.h"
#include "track.h"

using namespace lxtest;

namespace {

using Threads = FreshSessions;

constexpr int REF_LAP = 2;
constexpr int SPEED = 4, LATERAL = 5, LONGITUDINAL = 6; // of the generator's text export

int set_up(const std::string& path) {
    int h = lx_open_aim_xls(path.c_str());
    EXPECT_GT(h, 0);
    lx_session_setup(h);
    lx_compute_session_math(h, SPEED, LATERAL, LX_SPEED_KMH, 0, LONGITUDINAL, 0);
    return h;
}

// The same session under a handle of the data API.
int data_set_up(const std::string& path) {
    int h = lx_open(path.c_str(), nullptr);
    lx_math_options math{SPEED, LATERAL, LONGITUDINAL, LX_SPEED_KMH, 0, 0};
    EXPECT_EQ(lx_session_math(h, &math), LX_OK) << lx_last_error();
    return h;
}

void expect_same_bits(const float* a, const float* b, int n, const char* what) {
    EXPECT_EQ(std::memcmp(a, b, sizeof(float) * std::size_t(n)), 0) << what;
}

// Every lap, channel and sample of two cut sessions, to the bit.
void expect_same_session(const lx::Session* a, const lx::Session* b) {
    ASSERT_EQ(a->nlaps, b->nlaps);
    ASSERT_EQ(a->nchannels, b->nchannels);
    for (int l = 0; l < a->nlaps; ++l) {
        const lx::Lap &x = a->laps[l], &y = b->laps[l];
        ASSERT_EQ(x.npoints, y.npoints) << "lap " << l;
        EXPECT_EQ(x.original, y.original);
        std::vector<float> fx{x.laptime, x.raw_laptime, x.lap_length, x.cut_offset};
        std::vector<float> fy{y.laptime, y.raw_laptime, y.lap_length, y.cut_offset};
        EXPECT_EQ(bits(fx), bits(fy)) << "lap " << l;
        for (int c = 0; c < a->nchannels; ++c)
            expect_same_bits(x.raw[c], y.raw[c], x.npoints, "cut session samples");
    }
}

TEST_F(Threads, SameBitsAsTheExportsWhateverTheThreadCount) {
    lxgen::SessionPlan plan; // an out-lap, a missed beacon, a traffic lap, an in-lap
    plan.flying_laps = 6;
    std::string path = write_temp_file(lxgen::write_text(lxgen::drive_session(plan)));
    int ref = set_up(path), data_ref = data_set_up(path);
    int exported = set_up(path);
    lx_beacon_setup(exported);
    int remaining = lx_compute_error_channel_step(1, ref, REF_LAP, exported);
    while (remaining > 0) remaining = lx_compute_error_channel_step(0, ref, REF_LAP, exported);
    int count = lx_locate_laps(ref, REF_LAP, exported);
    ASSERT_GT(count, 3);
    const lx::Session* e = lx::lookup_session(exported);
    std::vector<float> errors = samples(e, lx::library.error_channel);
    std::vector<float> marks = samples(e, lx::library.beacon_channel);
    ASSERT_EQ(errors.back(), lx::ERROR_UNSET) << "the reference runs past the end";

    const int modes[] = {LX_CUT_MATCHES, LX_CUT_SNAP, LX_CUT_BEACON_SHIFT};
    for (int threads = 1; threads <= 3; ++threads) {
        SCOPED_TRACE("threads " + std::to_string(threads));
        int mode = modes[threads - 1];
        int work = data_set_up(path);
        lx::Session* w = lx::data::data_session(work);
        // File channels of those names are the file's, never matching's.
        std::strcpy(w->channels[3].name, "i_error");
        std::strcpy(w->channels[7].name, "i_beacon");
        lx_match_options options{threads, mode, 30.0};
        StdoutCapture out;
        EXPECT_EQ(lx_match_laps(data_ref, REF_LAP, work, &options), count) << lx_last_error();
        int cut = lx_cut_session(data_ref, REF_LAP, work, &options);
        EXPECT_EQ(out.text(), "");
        ASSERT_GT(cut, 0) << lx_last_error();
        EXPECT_EQ(bits(samples(w, w->nchannels - 2)), bits(errors));
        EXPECT_EQ(bits(samples(w, w->nchannels - 1)), bits(marks));

        int expected = lx_new_session_from_beacons(ref, REF_LAP, exported, mode, 30.0f);
        ASSERT_GT(expected, 0);
        EXPECT_GE(cut, LX_DATA_HANDLE_FIRST);
        expect_same_session(lx::data::data_session(cut), lx::lookup_session(expected));
        lx_session_info info;
        lx_session_info_get(work, &info);
        EXPECT_EQ(info.beacon_shift, lx_get_beacon_shift(exported));
        StdoutCapture freeing;
        lx_free_session(expected);
        for (int h : {work, cut}) lx_close(h);
    }
}

TEST_F(Threads, StandingAcrossBlocksBlocksPastTheEndAndNoEnd) {
    // Blocks of 1024 samples start inside standing stretches, whose samples
    // keep the fit made before them; the reference's half is longer than a
    // block, so blocks after the end run before it is known. A one-sample
    // reference never runs past the end.
    static constexpr int N = 2400;
    auto standing = [](int i) { return (i % 1024 < 6 || i % 1024 > 1018) && i > 8; };
    // Each session twice: under the front-end's handles and the data API's.
    auto track = [] {
        return matching_session(
            {N}, 20, [](int k) { return track_radius(k, N); },
            [](int k) { return track_seglen(k, N); });
    };
    auto working = [&] {
        return matching_session(
            {N + 500, 300, 0, N}, 20, [](int i) { return track_radius(i + 400, N); },
            [&](int i) { return standing(i) ? 0.0f : track_seglen(i + 400, N); });
    };
    lx::Session *work = working(), *data_work = working();
    int w = install(work), data_w = install_data(data_work);
    const std::pair<int, int> refs[] = {
        {install(track()), install_data(track())},
        {install(matching_session({1}, 20, unit)), install_data(matching_session({1}, 20, unit))}};
    for (auto [ref, data_ref] : refs) {
        int remaining = lx_compute_error_channel_step(1, ref, 0, w);
        while (remaining > 0) remaining = lx_compute_error_channel_step(0, ref, 0, w);
        std::vector<float> errors = samples(work, lx::library.error_channel);
        for (int threads : {2, 3}) {
            lx_match_options options{threads, LX_CUT_MATCHES, 0.0};
            EXPECT_GT(lx_match_laps(data_ref, 0, data_w, &options), 0) << lx_last_error();
            EXPECT_EQ(bits(samples(data_work, lx::library.error_channel)), bits(errors));
        }
    }
}

TEST_F(Threads, RefusalsNameTheCauseAndChangeNothing) {
    lx::Session* work = matching_session({40, 40}, 10, [](int k) { return track_radius(k, 40); });
    int w = install_data(work);
    int bare = install_data(make_session({10}, 10));
    const int channels = work->nchannels;
    lx_match_options options{1, LX_CUT_MATCHES, 0.0};
    auto refused = [&](int ref, int lap, int h, const lx_match_options* o, int status) {
        EXPECT_EQ(lx_match_laps(ref, lap, h, o), status) << lx_last_error();
        EXPECT_EQ(lx_cut_session(ref, lap, h, o), status) << lx_last_error();
        EXPECT_NE(std::string(lx_last_error()), "");
    };
    StdoutCapture out;
    refused(99, 0, w, &options, LX_ERR_HANDLE);
    refused(w, 0, 0, &options, LX_ERR_HANDLE);
    refused(w, 2, w, &options, LX_ERR_LAP);
    refused(bare, 0, w, &options, LX_ERR_STATE);
    refused(w, 0, bare, &options, LX_ERR_STATE);
    lx::Session* unmeasured = matching_session({10}, 10, unit);
    unmeasured->laps[0].lap_length = 0.0f; // set up, but the session math has not run
    refused(w, 0, install_data(unmeasured), &options, LX_ERR_STATE);
    refused(install(make_session({10}, 10)), 0, w, &options, LX_ERR_HANDLE); // the front-end's
    for (lx_match_options bad : {lx_match_options{-1, 0, 0.0},
                                 {LX_MAX_THREADS + 1, 0, 0.0},
                                 {0, 3, 0.0},
                                 {0, -1, 0.0},
                                 {0, 1, -1.0},
                                 {0, 1, NAN},
                                 {0, 1, 1e39}})
        refused(w, 0, w, &bad, LX_ERR_ARGUMENT);
    // One channel free, and no error channel of the library's.
    lx::Session* full = matching_session({5}, 10, unit, unit, lx::MAX_CHANNELS - 10);
    std::strcpy(full->channels[full->nchannels - 2].name, "x");
    refused(w, 0, install_data(full), nullptr, LX_ERR_LIMIT);
    EXPECT_EQ(out.text(), "");
    EXPECT_EQ(work->nchannels, channels);
    lx_match_options widest{LX_MAX_THREADS, LX_CUT_SNAP, FLT_MAX};
    EXPECT_EQ(lx_match_laps(w, 0, w, &widest), 1);
}

} // namespace
