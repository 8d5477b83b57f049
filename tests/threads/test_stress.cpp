// Threads at once through the data API: workers opening, analysing, matching,
// cutting and closing sessions of their own while readers share one analysed
// session. Each gets what one thread alone gets, and its own last error. The
// CI's thread step runs it under ThreadSanitizer.
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

constexpr int WORKERS = 4, READERS = 3, ROUNDS = 2, REF_LAP = 2, SPEED = 4;

// Matches, the cut's laps, the optimal lap and the cut's speed; then whether
// the thread's last error names its own session.
std::vector<double> work_on(const std::string& path, int threads) {
    int h = lx_open(path.c_str(), nullptr);
    std::vector<double> seen{double(lx_analyse(h, nullptr)), 0.0};
    lx_analysis_best(h, LX_BEST_OPTIMAL, &seen[1], nullptr, 0);
    lx_match_options options{threads, LX_CUT_MATCHES, 0.0};
    seen.push_back(lx_match_laps(h, REF_LAP, h, &options));
    int cut = lx_cut_session(h, REF_LAP, h, &options);
    lx_session_info facts{};
    lx_session_info_get(cut, &facts);
    seen.push_back(facts.laps);
    std::vector<float> speed(4096);
    int n = lx_lap_samples(cut, 1, SPEED, speed.data(), int(speed.size()));
    seen.insert(seen.end(), speed.begin(), speed.begin() + std::clamp(n, 0, 4096));
    lx_lap_info lap;
    lx_lap_info_get(h, 999, &lap);
    seen.push_back(std::string(lx_last_error()).find(std::to_string(h)) != std::string::npos);
    lx_close(cut);
    lx_close(h);
    return seen;
}

// A reader's view of the shared session: facts, samples and analysis queries.
std::vector<double> read_shared(int h) {
    lx_analysis_info info;
    lx_analysis_info_get(h, &info);
    std::vector<double> seen{info.optimal_lap, info.theoretical_best};
    for (int lap = 0; lap < info.full_laps + 2; ++lap) {
        lx_corner corners[16];
        int n = lx_analysis_corners(h, lap, corners, 16);
        for (int c = 0; c < std::clamp(n, 0, 16); ++c) seen.push_back(corners[c].min_speed);
        double sectors[8];
        n = lx_analysis_sector_times(h, lap, sectors, 8);
        seen.insert(seen.end(), sectors, sectors + std::clamp(n, 0, 8));
    }
    std::vector<float> speed(4096);
    int n = lx_lap_samples(h, REF_LAP, SPEED, speed.data(), int(speed.size()));
    seen.insert(seen.end(), speed.begin(), speed.begin() + std::clamp(n, 0, 4096));
    return seen;
}

TEST_F(Stress, WorkersOnTheirOwnSessionsReadersOnASharedOne) {
    lxgen::SessionPlan plan;
    plan.flying_laps = 4;
    std::string path = write_temp_file(lxgen::write_text(lxgen::drive_session(plan)));
    const std::vector<double> alone = work_on(path, 1);
    ASSERT_EQ(alone[0], LX_OK);
    ASSERT_GT(alone[2], 2) << "matches";
    ASSERT_EQ(alone.back(), 1.0) << "the error names its session";
    int shared = lx_open(path.c_str(), nullptr);
    ASSERT_EQ(lx_analyse(shared, nullptr), LX_OK);
    const std::vector<double> read_alone = read_shared(shared);

    std::vector<std::vector<double>> worked(WORKERS * ROUNDS), read(READERS * ROUNDS);
    std::vector<std::thread> threads;
    for (int w = 0; w < WORKERS; ++w)
        threads.emplace_back([&, w] {
            for (int r = 0; r < ROUNDS; ++r)
                worked[std::size_t(w * ROUNDS + r)] = work_on(path, 1 + (w + r) % 2);
        });
    for (int t = 0; t < READERS; ++t)
        threads.emplace_back([&, t] {
            for (int r = 0; r < ROUNDS; ++r)
                read[std::size_t(t * ROUNDS + r)] = read_shared(shared);
        });
    for (std::thread& t : threads) t.join();
    for (const std::vector<double>& seen : worked) EXPECT_EQ(seen, alone);
    for (const std::vector<double>& seen : read) EXPECT_EQ(seen, read_alone);
}

} // namespace
