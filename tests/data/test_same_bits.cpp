// The data API's sessions against the front-end's: handles kept apart, and
// every front-end step the data API repeats gives the same bits on the same
// file.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "data/handles.h"
#include "gen.h"
#include "lx_data.h"
#include "support.h"

using namespace lxtest;

namespace {

using SameBits = FreshSessions;

constexpr int SPEED = 4, LATERAL = 5, LONGITUDINAL = 6, LAP = 2; // of the generator's export

// Every sample of every channel and lap, as bits.
std::vector<Bits> all_bits(const lx::Session* s) {
    std::vector<float> values;
    for (int l = 0; l < s->nlaps; ++l)
        for (int c = 0; c < s->nchannels; ++c)
            values.insert(values.end(), s->laps[l].raw[c], s->laps[l].raw[c] + s->laps[l].npoints);
    return bits(values);
}

TEST_F(SameBits, HandlesApartEachRefusedByTheOtherSide) {
    std::string path = write_temp_file(lxgen::write_text(lxgen::drive_session({})));
    StdoutCapture out;
    int front = lx_open_aim_xls(path.c_str());
    std::vector<int> data;
    for (int i = 0; i < 12; ++i) data.push_back(lx_open(path.c_str(), nullptr));
    EXPECT_GE(data[0], LX_DATA_HANDLE_FIRST);
    ASSERT_EQ(lx_close(data[0]), LX_OK);
    EXPECT_EQ(lx_open(path.c_str(), nullptr), data[11] + 1) << "never given twice";
    // lx.h's exports take a data handle for an unknown one, and change nothing.
    EXPECT_EQ(lx_num_laps(data[1]), 0);
    EXPECT_EQ(lx_session_setup(data[1]), 0);
    lx_free_session(data[1]);
    EXPECT_EQ(out.text(), "Freeing session " + std::to_string(data[1]) + "\n");
    EXPECT_EQ(lx::data::data_sessions_open(), 12);
    // The data API reads a front-end session and changes none.
    lx_session_info info;
    EXPECT_EQ(lx_session_info_get(front, &info), LX_OK);
    EXPECT_EQ(lx_analyse(front, nullptr), LX_ERR_HANDLE);
    EXPECT_NE(std::string(lx_last_error()).find("lx_open_aim_xls"), std::string::npos);
    EXPECT_EQ(lx_close(front), LX_ERR_HANDLE);
    EXPECT_EQ(lx_num_laps(front), info.laps);
}

TEST_F(SameBits, SessionMathTimeDiffMapChartAndMotecAsTheExports) {
    lxgen::SessionPlan plan;
    plan.flying_laps = 4;
    std::string path = write_temp_file(lxgen::write_text(lxgen::drive_session(plan)));
    StdoutCapture out;
    int f = lx_open_aim_xls(path.c_str());
    int d = lx_open(path.c_str(), nullptr);
    ASSERT_EQ(lx_session_setup(f), 1);
    ASSERT_EQ(lx_compute_session_math(f, SPEED, LATERAL, LX_SPEED_KMH, 1, LONGITUDINAL, 1), 1);
    lx_math_options math{SPEED, LATERAL, LONGITUDINAL, LX_SPEED_KMH, 1, 1};
    ASSERT_EQ(lx_session_math(d, &math), LX_OK) << lx_last_error();
    const lx::Session *fs = lx::lookup_session(f), *ds = lx::data::data_session(d);
    EXPECT_EQ(all_bits(ds), all_bits(fs));

    ASSERT_EQ(lx_analysis_setup(f), 1);
    ASSERT_EQ(lx_calc_time_diff(f, LAP, f, 1), 1);
    ASSERT_EQ(lx_time_diff(d, LAP, d, 1), LX_OK) << lx_last_error();
    EXPECT_EQ(all_bits(ds), all_bits(fs));

    for (int id = LX_CHANNEL_DISTANCE; id <= LX_CHANNEL_TIME_DIFF_RATE; ++id)
        EXPECT_EQ(lx_derived_channel_number(d, id), lx_channel_number(f, id)) << id;
    for (int c = 0; c < fs->nchannels; ++c) {
        float min = 0, max = 0;
        ASSERT_EQ(lx_channel_range(d, c, &min, &max), LX_OK);
        EXPECT_EQ(bits({min, max}), bits({lx_channel_min(f, c), lx_channel_max(f, c)})) << c;
    }

    constexpr int POINTS = 300;
    std::vector<int> fx(POINTS), fy(POINTS), dx(POINTS), dy(POINTS);
    ASSERT_EQ(lx_map_setup(f), 1);
    ASSERT_EQ(lx_scaled_map(f, fx.data(), fy.data(), POINTS, LAP, 640, 480, 9, 1.1f, 30.0f), 1);
    ASSERT_EQ(lx_map_pixels(d, dx.data(), dy.data(), POINTS, LAP, 640, 480, 9, 1.1f, 30.0f), POINTS)
        << lx_last_error();
    EXPECT_EQ(dx, fx);
    EXPECT_EQ(dy, fy);
    int n = fs->laps[LAP].npoints;
    std::vector<double> mx(std::size_t(n) + 1, -1.0), my(mx);
    ASSERT_EQ(lx_map_points(d, LAP, 1.1f, 30.0f, mx.data(), my.data(), n), n);
    EXPECT_EQ(mx.back(), -1.0) << "nothing past the capacity";
    EXPECT_EQ(lx_map_points(d, LAP, 1.1f, 30.0f, nullptr, nullptr, 0), n) << "the count alone";
    const float* map_x = fs->laps[LAP].raw[fs->i_map_x];
    EXPECT_EQ(std::vector<double>(mx.begin(), mx.end() - 1), std::vector<double>(map_x, map_x + n));

    int fm = lx_scaled_chart_lap_dist(f, LAP, SPEED, 200, 0, POINTS, 500, 200, 3, 180, 0.0f,
                                      fx.data(), fy.data());
    int dm = lx_chart_pixels(d, LAP, SPEED, 200, 0, POINTS, 500, 200, 3, 180, 0.0f, dx.data(),
                             dy.data());
    ASSERT_GT(fm, 0);
    EXPECT_EQ(dm, fm);
    EXPECT_EQ(dx, fx);
    EXPECT_EQ(dy, fy);

    std::string motec_f = temp_path(".csv"), motec_d = temp_path(".csv");
    ASSERT_EQ(lx_write_lap_motec(f, LAP, motec_f.c_str()), 1);
    ASSERT_EQ(lx_write_motec(d, LAP, motec_d.c_str()), LX_OK);
    EXPECT_EQ(read_file(motec_d), read_file(motec_f));
}

TEST_F(SameBits, RefusalsNameTheCauseAndChangeNothing) {
    std::string path = write_temp_file(lxgen::write_text(lxgen::drive_session({})));
    int d = lx_open(path.c_str(), nullptr);
    int bare = lx_open(path.c_str(), nullptr);
    lx_math_options math{SPEED, LATERAL, 0, LX_SPEED_KMH, 0, 0};
    ASSERT_EQ(lx_session_math(d, &math), LX_OK);
    const lx::Session* s = lx::data::data_session(d);
    std::vector<Bits> before = all_bits(s);
    int channels = s->nchannels;
    float f = 0;
    double x[2] = {7, 7};
    int px[2] = {7, 7};
    struct Case {
        int got, status;
    };
    lx_math_options bad_units = math, bad_channel = math;
    bad_units.speed_units = 2;
    bad_channel.longitudinal = channels;
    const Case cases[] = {
        {lx_session_math(d, nullptr), LX_ERR_ARGUMENT},
        {lx_session_math(d, &bad_units), LX_ERR_ARGUMENT},
        {lx_session_math(d, &bad_channel), LX_ERR_CHANNEL},
        {lx_session_math(0, &math), LX_ERR_HANDLE},
        {lx_derived_channel_number(d, 10), LX_ERR_ARGUMENT},
        {lx_derived_channel_number(d, -1), LX_ERR_ARGUMENT},
        {lx_channel_range(d, channels, &f, &f), LX_ERR_CHANNEL},
        {lx_channel_range(d, 0, nullptr, &f), LX_ERR_ARGUMENT},
        {lx_time_diff(d, s->nlaps, d, 1), LX_ERR_LAP},
        {lx_time_diff(d, 0, bare, 1), LX_ERR_STATE},
        {lx_map_pixels(d, px, px, 2, s->nlaps, 10, 10, 0, 1, 0), LX_ERR_LAP},
        {lx_map_pixels(d, nullptr, px, 2, 0, 10, 10, 0, 1, 0), LX_ERR_ARGUMENT},
        {lx_map_pixels(bare, px, px, 2, 0, 10, 10, 0, 1, 0), LX_ERR_STATE},
        {lx_map_points(d, 0, 1, 0, x, x, -1), LX_ERR_ARGUMENT},
        {lx_chart_pixels(d, 0, SPEED, 1, 1, 2, 10, 10, 0, 10, 0, px, px), LX_ERR_ARGUMENT},
        {lx_chart_pixels(d, 0, SPEED, 2, 1, 2, -10, 10, 0, 10, 0, px, px), LX_ERR_ARGUMENT},
        {lx_chart_pixels(d, 0, channels, 2, 1, 2, 10, 10, 0, 10, 0, px, px), LX_ERR_CHANNEL},
        {lx_write_motec(d, 0, nullptr), LX_ERR_ARGUMENT},
        {lx_write_motec(d, -1, "x.csv"), LX_ERR_LAP},
        {lx_write_motec(d, 0, "/no/such/folder/x.csv"), LX_ERR_FILE},
        {lx_session_math(install_data(make_session({4}, 10.0f, lx::MAX_CHANNELS - 5)), &math),
         LX_ERR_LIMIT},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(cases[i].got, cases[i].status) << "case " << i;
    EXPECT_EQ(x[0], 7.0);
    EXPECT_EQ(px[0], 7);
    EXPECT_EQ(s->nchannels, channels);
    EXPECT_EQ(all_bits(s), before);
}

} // namespace
