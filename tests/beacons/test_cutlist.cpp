#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../matching/track.h"
#include "beacons/beacons.h"
#include "lx.h"
#include "support.h"

using namespace lxtest;
using namespace lx;

namespace {

class CutList : public testing::Test {
  protected:
    void SetUp() override { close_all_sessions(); }
    void TearDown() override { close_all_sessions(); }
};

constexpr float RATE = 25.0f;

// Six logger laps of one-metre samples at 25 Hz (the last one short); lap 2
// starts standing. Detections lie 20 m after the beacon at 100, 20 m before
// the one at 300, 50 m from the beacons at 300 and 400, and on the one at 400.
lx::Session* six_laps() {
    lx::Session* s = make_session({100, 100, 100, 100, 100, 66}, RATE);
    add_matching_channels(s);
    fill_by_index(s, s->i_seglen, [](int) { return 1.0f; });
    set_lap_lengths(s);
    for (int l = 0; l < s->nlaps; ++l) s->laps[l].laptime = 4.1f + 0.01f * l;
    sample(s, s->i_speed, 200) = 0.0f;
    for (int i : {120, 280, 350, 400}) sample(s, library.beacon_channel, i) = 1.0f;
    return s;
}

struct Cut {
    int kind;
    int start;
    int entries;
    float laptime;
    int intact;
    float nearest_ir;
};

float raw_time(int entries) {
    return static_cast<float>(entries / static_cast<double>(RATE));
}

// Cut list of a session as the export makes it; the beacon shift comes back in shift.
std::vector<CutEntry> cut(const lx::Session* s, int mode, float tolerance, float* shift = nullptr) {
    CutEntry list[CUTLIST_CAPACITY];
    TraceOptions quiet{0, 1};
    int count = cutlist_build(list, s, mode, library.beacon_channel, s->i_seglen, s->i_speed);
    float average = mode == 2 ? cutlist_nearest_ir(list, quiet) : 0.0f;
    if (shift) *shift = average;
    cutlist_snap_to_ir(list, mode, tolerance, quiet);
    cutlist_mark_intact(list, s);
    int end = 0;
    while (list[end].kind != CL_END) ++end;
    EXPECT_LE(end + 1, count) << "snapping only ever removes entries";
    return {list, list + end + 1};
}

void expect_cuts(const std::vector<CutEntry>& got, const std::vector<Cut>& want) {
    ASSERT_EQ(got.size(), want.size());
    for (std::size_t i = 0; i < want.size(); ++i) {
        SCOPED_TRACE("entry " + std::to_string(i));
        const CutEntry& e = got[i];
        EXPECT_STREQ(cut_kind_name(e.kind), cut_kind_name(want[i].kind));
        EXPECT_EQ(e.start_index, want[i].start);
        EXPECT_EQ(e.start_lap, want[i].start / 100);
        EXPECT_EQ(e.start_point, want[i].start % 100);
        EXPECT_EQ(e.entries, want[i].entries);
        EXPECT_EQ(e.lap_length, static_cast<float>(want[i].entries));
        EXPECT_EQ(e.raw_laptime, raw_time(want[i].entries));
        EXPECT_EQ(e.laptime, want[i].laptime);
        EXPECT_EQ(e.intact, want[i].intact);
        EXPECT_EQ(e.nearest_ir, want[i].nearest_ir);
    }
}

float logger_time(int lap) {
    return 4.1f + 0.01f * lap;
}
// The last logger lap joined to the one before: summed times, not recomputed.
const float joined_end_time = raw_time(100) + raw_time(66);

TEST_F(CutList, ModeZeroCutsAtStopsAndDetectionsOnly) {
    lx::Session* s = six_laps();
    expect_cuts(cut(s, 0, 30.0f), {{CL_KX_DETECT, 0, 120, raw_time(120), 0, 0},
                                   {CL_AIM_STOP, 120, 80, raw_time(80), 0, 0},
                                   {CL_KX_DETECT, 200, 80, raw_time(80), 0, 0},
                                   {CL_KX_DETECT, 280, 70, raw_time(70), 0, 0},
                                   {CL_KX_DETECT, 350, 50, raw_time(50), 0, 0},
                                   {CL_END, 400, 166, raw_time(166), 0, 0}});
    free_session(s);
}

TEST_F(CutList, ModeOneKeepsConfirmedBeaconsAndDropsTheRest) {
    lx::Session* s = six_laps();
    // Beacons at 100 and 300 are confirmed 20 m away; the detection at 350 is
    // 50 m from both, too far; the beacon at 500 has no detection near it.
    expect_cuts(cut(s, 1, 30.0f), {{CL_IR_AND_KX, 0, 100, logger_time(0), 1, 0},
                                   {CL_AIM_STOP, 100, 100, logger_time(1), 1, 0},
                                   {CL_IR_AND_KX, 200, 100, logger_time(2), 1, 0},
                                   {CL_KX_DETECT, 300, 50, raw_time(50), 0, 0},
                                   {CL_IR_AND_KX, 350, 50, raw_time(50), 0, 0},
                                   {CL_END, 400, 166, joined_end_time, 0, 0}});
    // At exactly the tolerance the detection at 350 joins the beacon after it.
    expect_cuts(cut(s, 1, 50.0f), {{CL_IR_AND_KX, 0, 100, logger_time(0), 1, 0},
                                   {CL_AIM_STOP, 100, 100, logger_time(1), 1, 0},
                                   {CL_IR_AND_KX, 200, 100, logger_time(2), 1, 0},
                                   {CL_IR_AND_KX, 300, 100, logger_time(3), 1, 0},
                                   {CL_END, 400, 166, joined_end_time, 0, 0}});
    free_session(s);
}

TEST_F(CutList, ModeTwoCutsAtDetectionsAndMeasuresTheirShift) {
    lx::Session* s = six_laps();
    float shift = 0.0f;
    std::vector<CutEntry> got = cut(s, 2, 30.0f, &shift);
    // 20 m after a beacon, 20 m before one, and 50 m from two (the one behind wins).
    expect_cuts(got, {{CL_KX_DETECT, 0, 120, raw_time(120), 0, -20},
                      {CL_AIM_STOP, 120, 80, raw_time(80), 0, 0},
                      {CL_KX_DETECT, 200, 80, raw_time(80), 0, 20},
                      {CL_KX_DETECT, 280, 70, raw_time(70), 0, -50},
                      {CL_IR_AND_KX, 350, 50, raw_time(50), 0, 0},
                      {CL_END, 400, 166, joined_end_time, 0, 0}});
    EXPECT_EQ(shift, -50.0f / 3.0f);

    // Any other mode cuts the same way but measures nothing.
    std::vector<CutEntry> other = cut(s, 7, 30.0f);
    ASSERT_EQ(other.size(), got.size());
    for (std::size_t i = 0; i < got.size(); ++i) {
        EXPECT_EQ(other[i].start_index, got[i].start_index);
        EXPECT_EQ(other[i].kind, got[i].kind);
        EXPECT_EQ(other[i].nearest_ir, 0.0f);
    }
    free_session(s);
}

TEST_F(CutList, StopWinsOverADetectionOnTheSameSample) {
    lx::Session* s = six_laps();
    sample(s, library.beacon_channel, 200) = 1.0f;
    for (int mode : {0, 1, 2}) {
        std::vector<CutEntry> got = cut(s, mode, 30.0f);
        int stops = 0;
        for (const CutEntry& e : got) {
            if (e.kind != CL_AIM_STOP) continue;
            stops += 1;
            EXPECT_EQ(e.start_index + e.entries, 200);
        }
        EXPECT_EQ(stops, 1) << "mode " << mode;
    }
    free_session(s);
}

TEST_F(CutList, SingleLapWithoutDetectionIsOneWholeEntry) {
    lx::Session* s = make_session({40}, RATE);
    add_matching_channels(s);
    fill_by_index(s, s->i_seglen, [](int) { return 0.5f; });
    s->laps[0].laptime = 1.75f;
    for (int mode : {0, 1, 2, -3}) {
        std::vector<CutEntry> got = cut(s, mode, 30.0f);
        ASSERT_EQ(got.size(), 1u);
        EXPECT_EQ(got[0].kind, CL_END);
        EXPECT_EQ(got[0].entries, 40);
        EXPECT_EQ(got[0].lap_length, 20.0f);
        EXPECT_EQ(got[0].laptime, 1.75f) << "the logger's own lap, intact";
        EXPECT_EQ(got[0].intact, 1);
    }
    // A detection on the session's very first sample gives an empty entry.
    sample(s, library.beacon_channel, 0) = 1.0f;
    std::vector<CutEntry> got = cut(s, 0, 30.0f);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].entries, 0);
    EXPECT_EQ(got[1].entries, 40);
    free_session(s);
}

TEST_F(CutList, NearestBeaconSignAndTies) {
    auto nearest = [](float behind, float ahead) {
        CutEntry list[4] = {};
        list[0] = {CL_AIM_IR, 10, 0, 0, 0, 100.0f, 0, 0, 0, 0};
        list[1] = {CL_KX_DETECT, 5, 0, 0, 10, behind, 0, 0, 0, 0};
        list[2] = {CL_IR_AND_KX, 5, 0, 0, 15, ahead, 0, 0, 0, 0};
        list[3] = {CL_END, 1, 0, 0, 20, 1.0f, 0, 0, 0, 0};
        float average = cutlist_nearest_ir(list, {0, 1});
        EXPECT_EQ(average, list[1].nearest_ir);
        return list[1].nearest_ir;
    };
    EXPECT_EQ(nearest(30, 40), -30.0f);
    EXPECT_EQ(nearest(40, 30), 30.0f);
    EXPECT_EQ(nearest(25, 25), -25.0f);

    // No detection next to a beacon: no shift, rather than 0 / 0.
    CutEntry lonely[3] = {};
    lonely[0] = {CL_KX_DETECT, 10, 0, 0, 0, 10.0f, 0, 0, 0, 0};
    lonely[1] = {CL_AIM_STOP, 10, 0, 0, 10, 10.0f, 0, 0, 0, 0};
    lonely[2] = {CL_END, 10, 0, 0, 20, 10.0f, 0, 0, 0, 0};
    EXPECT_EQ(cutlist_nearest_ir(lonely, {0, 1}), 0.0f);
    EXPECT_EQ(lonely[0].nearest_ir, 0.0f);
}

TEST_F(CutList, TooManyCutsAreCountedButNeverWrittenPastTheList) {
    lx::Session* s = make_session({600}, RATE);
    add_matching_channels(s);
    fill_by_index(s, s->i_seglen, [](int) { return 1.0f; });
    for (int i = 1; i < 300; ++i) sample(s, library.beacon_channel, 2 * i) = 1.0f;
    std::vector<CutEntry> list(CUTLIST_CAPACITY + 8);
    for (CutEntry& e : list) e.kind = -7;
    int count = cutlist_build(list.data(), s, 0, library.beacon_channel, s->i_seglen, s->i_speed);
    EXPECT_EQ(count, 300);
    EXPECT_EQ(list[CUTLIST_CAPACITY - 1].kind, CL_END);
    EXPECT_EQ(list[CUTLIST_CAPACITY - 1].start_index, 2 * (CUTLIST_CAPACITY - 1));
    EXPECT_EQ(list[CUTLIST_CAPACITY - 1].entries, 600 - 2 * (CUTLIST_CAPACITY - 1));
    EXPECT_EQ(list[CUTLIST_CAPACITY].kind, -7);
    free_session(s);
}

// Two logger laps of five 2 m samples at 5 Hz, a detection 4 m into the second.
int small_session() {
    lx::Session* s = make_session({5, 5}, 5.0f);
    add_matching_channels(s);
    fill_by_index(s, s->i_seglen, [](int) { return 2.0f; });
    set_lap_lengths(s);
    s->laps[0].laptime = 1.234f;
    s->laps[1].laptime = 0.987f;
    sample(s, library.beacon_channel, 7) = 1.0f;
    return install(s);
}

// The list's address in the trace changes from run to run.
std::string without_address(std::string text) {
    std::string key = "cutlist_snap_to_ir(0x";
    std::size_t at = text.find(key);
    if (at != std::string::npos) text.replace(at + key.size(), 8, "ADDRESS.");
    return text;
}

const char* FIRST_LIST =
    "Lap cut 0 :    CL_AIM_IR        5 entries, start lap[0][0] (0), 10.0m 0:01.000 (0:01.000) "
    "nearest IR 0.0m\n"
    "Lap cut 1 : CL_KX_DETECT        2 entries, start lap[1][0] (5), 4.0m 0:00.400 (0:00.400) "
    "nearest IR 0.0m\n"
    "Lap cut 2 :       CL_END        3 entries, start lap[1][2] (7), 6.0m 0:00.600 (0:00.600) "
    "nearest IR 0.0m\n";

TEST_F(CutList, VerboseTraceInModeTwo) {
    int h = small_session();
    TraceSwitches trace(1, 1);
    StdoutCapture out;
    EXPECT_EQ(lx_new_session_from_beacons(h, 0, h, 2, 25.0f), 2);
    std::string expected =
        std::string("lx_new_session_from_beacons(1,0,1,25.0)\n\n") + FIRST_LIST +
        "\n"
        "  0 : CL_AIM_IR    0.0        10.0       4.0        0.0       \n"
        "  1 : CL_KX_DETECT 10.0       4.0        6.0        -4.0      \n"
        "Average beacon shift = -4.0m, -13.1ft\n"
        "cutlist_snap_to_ir(0xADDRESS., 2, 25.0)\n"
        "  0 : CL_AIM_IR    3 0.0        10.0       4.0        0.0        - merge\n"
        "  0 : CL_KX_DETECT 0 0.0        14.0       6.0        -4.0      \n"
        "\n"
        "Lap cut 0 : CL_KX_DETECT        7 entries, start lap[0][0] (0), 14.0m 0:01.400 "
        "(0:01.400) nearest IR -4.0m\n"
        "Lap cut 1 :       CL_END        3 entries, start lap[1][2] (7), 6.0m 0:00.600 "
        "(0:00.600) nearest IR 0.0m\n"
        "\n";
    EXPECT_EQ(without_address(out.text()), expected);
}

TEST_F(CutList, VerboseTraceInModeOneShowsIntactLaps) {
    int h = small_session();
    TraceSwitches trace(1, 1);
    StdoutCapture out;
    EXPECT_EQ(lx_new_session_from_beacons(h, 0, h, 1, 25.0f), 2);
    std::string expected =
        std::string("lx_new_session_from_beacons(1,0,1,25.0)\n\n") + FIRST_LIST +
        "\n"
        "cutlist_snap_to_ir(0xADDRESS., 1, 25.0)\n"
        "  0 : CL_AIM_IR    0 0.0        10.0       4.0        0.0       \n"
        "  1 : CL_KX_DETECT 1 10.0       4.0        6.0        0.0        - merge\n"
        "\n"
        "Lap cut 0 : CL_IR_AND_KX        5 entries, start lap[0][0] (0), 10.0m 0:01.000 "
        "(0:01.234) nearest IR 0.0m - intact!\n"
        "Lap cut 1 :       CL_END        5 entries, start lap[1][0] (5), 10.0m 0:01.000 "
        "(0:00.987) nearest IR 0.0m - intact!\n"
        "\n";
    EXPECT_EQ(without_address(out.text()), expected);
}

} // namespace
