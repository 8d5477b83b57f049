#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "beacons/beacons.h"
#include "lx.h"
#include "support.h"
#include "track.h"

using namespace lxtest;
using namespace lx;

namespace {

using CutList = FreshSessions;

TEST_F(CutList, NearestBeaconSignAndTies) {
    auto nearest = [](float behind, float ahead, CutKind first = CL_AIM_IR) {
        CutEntry list[4] = {};
        list[0] = {first, 10, 0, 0, 0, 100.0f, 0, 0, 0, 0};
        list[1] = {CL_KX_DETECT, 5, 0, 0, 10, behind, 0, 0, 0, 0};
        list[2] = {CL_IR_AND_KX, 5, 0, 0, 15, ahead, 0, 0, 0, 0};
        list[3] = {CL_END, 1, 0, 0, 20, 1.0f, 0, 0, 0, 0};
        float average = cutlist_nearest_ir(list, {0, 1, lx::STANDARD_OUTPUT});
        EXPECT_EQ(average, list[1].nearest_ir);
        return list[1].nearest_ir;
    };
    EXPECT_EQ(nearest(30, 40), -30.0f);
    EXPECT_EQ(nearest(40, 30), 30.0f);
    EXPECT_EQ(nearest(25, 25), -25.0f);
    EXPECT_EQ(nearest(30, 40, CL_KX_DETECT), 40.0f); // a detection behind is no beacon

    // No detection next to a beacon: no shift, rather than 0 / 0.
    CutEntry lonely[3] = {};
    lonely[0] = {CL_KX_DETECT, 10, 0, 0, 0, 10.0f, 0, 0, 0, 0};
    lonely[1] = {CL_AIM_STOP, 10, 0, 0, 10, 10.0f, 0, 0, 0, 0};
    lonely[2] = {CL_END, 10, 0, 0, 20, 10.0f, 0, 0, 0, 0};
    EXPECT_EQ(cutlist_nearest_ir(lonely, {0, 1, lx::STANDARD_OUTPUT}), 0.0f);
    EXPECT_EQ(lonely[0].nearest_ir, 0.0f);
}

TEST_F(CutList, TooManyCutsAreCountedButNeverWrittenPastTheList) {
    for (int cuts : {CUTLIST_CAPACITY, 299}) {
        lx::Session* s = matching_session({600}, 10, unit);
        for (int i = 1; i <= cuts; ++i) sample(s, library.beacon_channel, 2 * i) = 1.0f;
        std::vector<CutEntry> list(CUTLIST_CAPACITY + 1);
        list.back().kind = static_cast<CutKind>(-7);
        EXPECT_EQ(cutlist_build(list.data(), s, 0, library.beacon_channel, s->i_seglen, s->i_speed),
                  cuts + 1);
        const CutEntry& end = list[CUTLIST_CAPACITY - 1];
        EXPECT_EQ(end.kind, CL_END);
        EXPECT_EQ(end.start_index, 2 * (CUTLIST_CAPACITY - 1))
            << "the end runs on from the last cut kept";
        EXPECT_EQ(end.entries, 600 - end.start_index);
        EXPECT_EQ(list.back().kind, -7);
        free_session(s);
    }
}

// Two logger laps of five 2 m samples at 5 Hz, a detection 4 m into the second.
int small_session() {
    lx::Session* s = matching_session({5, 5}, 5.0f, unit, [](int) { return 2.0f; });
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

// Mode 2 moves the cut to the detection; in mode 1 a detection exactly the
// tolerance (4 m) after the beacon is joined to it and the laps stay intact.
TEST_F(CutList, VerboseTraceInModesTwoAndOne) {
    struct Case {
        int mode;
        float tolerance;
        const char* tail;
    } cases[] = {{LX_CUT_BEACON_SHIFT, 25.0f,
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
                  "(0:00.600) nearest IR 0.0m\n"},
                 {LX_CUT_SNAP, 4.0f,
                  "cutlist_snap_to_ir(0xADDRESS., 1, 4.0)\n"
                  "  0 : CL_AIM_IR    0 0.0        10.0       4.0        0.0       \n"
                  "  1 : CL_KX_DETECT 1 10.0       4.0        6.0        0.0        - merge\n"
                  "\n"
                  "Lap cut 0 : CL_IR_AND_KX        5 entries, start lap[0][0] (0), 10.0m 0:01.000 "
                  "(0:01.234) nearest IR 0.0m - intact!\n"
                  "Lap cut 1 :       CL_END        5 entries, start lap[1][0] (5), 10.0m 0:01.000 "
                  "(0:00.987) nearest IR 0.0m - intact!\n"}};
    for (const Case& c : cases) {
        close_all_sessions();
        int h = small_session();
        TraceSwitches trace(1, 1);
        StdoutCapture out;
        EXPECT_EQ(lx_new_session_from_beacons(h, 0, h, c.mode, c.tolerance), 2);
        char head[64];
        std::snprintf(head, sizeof head, "lx_new_session_from_beacons(1,0,1,%.1f)\n\n",
                      c.tolerance);
        EXPECT_EQ(without_address(out.text()),
                  head + std::string(FIRST_LIST) + "\n" + c.tail + "\n")
            << c.mode;
    }
}

} // namespace
