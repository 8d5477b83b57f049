// Threads at once through the data API: workers opening, analysing, matching,
// cutting and closing sessions of their own, readers sharing one analysed
// session. Each gets what one thread alone gets, and its own last error. Run
// under ThreadSanitizer by the CI's thread step.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include "gen.h"
#include "lx_data.h"
#include "support.h"

using namespace lxtest;

namespace {

using Stress = FreshSessions;

constexpr int WORKERS = 4, READERS = 3, ROUNDS = 2, REF_LAP = 2;

// What one session's work gives, to compare across threads.
struct Outcome {
    int matches = 0;
    int cut_laps = 0;
    double fastest = 0.0;
    double best = 0.0;
    std::vector<float> speed; // of the cut session's first lap
    std::string error;        // the thread's own refusal
};

bool operator==(const Outcome& a, const Outcome& b) {
    return a.matches == b.matches && a.cut_laps == b.cut_laps && a.fastest == b.fastest &&
           a.best == b.best && a.speed == b.speed;
}

Outcome work_on(const std::string& path, int threads) {
    Outcome o;
    int h = lx_open(path.c_str(), nullptr);
    if (lx_analyse(h, nullptr) != LX_OK) return o;
    lx_analysis_info info;
    lx_analysis_info_get(h, &info);
    o.fastest = info.fastest_time;
    lx_analysis_best(h, LX_BEST_OPTIMAL, &o.best, nullptr, 0);
    lx_match_options options{threads, LX_CUT_MATCHES, 0.0};
    o.matches = lx_match_laps(h, REF_LAP, h, &options);
    int cut = lx_cut_session(h, REF_LAP, h, &options);
    lx_session_info facts;
    lx_session_info_get(cut, &facts);
    o.cut_laps = facts.laps;
    o.speed.resize(std::size_t(std::max(lx_lap_samples(cut, 0, 4, nullptr, 0), 0)));
    lx_lap_samples(cut, 0, 4, o.speed.data(), int(o.speed.size()));
    // A refusal naming this thread's own handle, read after other threads' calls.
    lx_lap_info lap;
    lx_lap_info_get(h, 999, &lap);
    o.error = lx_last_error();
    if (o.error.find("session " + std::to_string(h)) == std::string::npos) o.error = "mixed up";
    lx_close(cut);
    lx_close(h);
    return o;
}

// What a reader sees of a shared analysed session.
std::vector<double> read_shared(int h) {
    std::vector<double> seen;
    lx_analysis_info info;
    lx_analysis_info_get(h, &info);
    seen.push_back(info.optimal_lap);
    for (int lap = 0; lap < info.full_laps + 2; ++lap) {
        lx_analysis_lap l;
        if (lx_analysis_lap_get(h, lap, &l) == LX_OK) seen.push_back(l.info.laptime);
        lx_corner corners[16];
        int n = lx_analysis_corners(h, lap, corners, 16);
        for (int c = 0; c < std::min(n, 16); ++c) seen.push_back(corners[c].min_speed);
        double sectors[8];
        n = lx_analysis_sector_times(h, lap, sectors, 8);
        seen.insert(seen.end(), sectors, sectors + std::max(std::min(n, 8), 0));
    }
    std::vector<float> speed(4096);
    int n = lx_lap_samples(h, REF_LAP, 4, speed.data(), int(speed.size()));
    seen.insert(seen.end(), speed.begin(), speed.begin() + std::max(std::min(n, 4096), 0));
    return seen;
}

TEST_F(Stress, WorkersOnTheirOwnSessionsReadersOnASharedOne) {
    lxgen::SessionPlan plan;
    plan.flying_laps = 4;
    std::string path = write_temp_file(lxgen::write_text(lxgen::drive_session(plan)));
    const Outcome alone = work_on(path, 1);
    ASSERT_GT(alone.matches, 2);
    ASSERT_GT(alone.cut_laps, 2);
    ASSERT_NE(alone.error, "mixed up");
    int shared = lx_open(path.c_str(), nullptr);
    ASSERT_EQ(lx_analyse(shared, nullptr), LX_OK);
    const std::vector<double> read_alone = read_shared(shared);

    std::vector<Outcome> outcomes(WORKERS * ROUNDS);
    std::vector<std::vector<double>> reads(READERS * ROUNDS);
    std::vector<std::thread> threads;
    for (int w = 0; w < WORKERS; ++w)
        threads.emplace_back([&, w] {
            for (int r = 0; r < ROUNDS; ++r)
                outcomes[std::size_t(w * ROUNDS + r)] = work_on(path, 1 + (w + r) % 2);
        });
    for (int t = 0; t < READERS; ++t)
        threads.emplace_back([&, t] {
            for (int r = 0; r < ROUNDS; ++r)
                reads[std::size_t(t * ROUNDS + r)] = read_shared(shared);
        });
    for (std::thread& t : threads) t.join();
    for (const Outcome& o : outcomes) {
        EXPECT_TRUE(o == alone);
        EXPECT_NE(o.error, "mixed up");
    }
    for (const std::vector<double>& seen : reads) EXPECT_EQ(seen, read_alone);
    lx_close(shared);
}

} // namespace
