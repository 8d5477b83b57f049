#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "lx.h"
#include "support.h"

using namespace lxtest;

namespace {

// A logged lap at a steady 72 km/h around a constant right-hand corner, taken
// through the real derived-channel setup before it is drawn.
TEST(Pipeline, DerivedChannelsFeedMapAndChart) {
    close_all_sessions();
    constexpr int n = 200;
    lx::Session* s = make_session({n}, 10, 2); // c3: speed in km/h, c4: lateral g
    for (int j = 0; j < n; ++j) {
        s->laps[0].raw[3][j] = 72.0f;
        s->laps[0].raw[4][j] = 0.62f;
    }
    int h = install(s);
    ASSERT_EQ(lx_session_setup(h), 1);
    ASSERT_EQ(lx_compute_session_math(h, 3, 4, 1, 0, 0, 0), 1);
    ASSERT_EQ(lx_map_setup(h), 1);
    ASSERT_NEAR(lx_lap_length(h, 0), 400.0f, 1e-3f);

    std::vector<int> x(n), y(n);
    ASSERT_EQ(lx_scaled_map(h, x.data(), y.data(), n, 0, 300, 300, 0, 1.0f, 0.0f), 1);
    const lx::Lap& l = s->laps[0];
    EXPECT_NEAR(l.raw[s->i_map_x][n - 1], 0.0f, 1e-3f);
    EXPECT_NEAR(l.raw[s->i_map_y][n - 1], 0.0f, 1e-3f);
    // A right turn from heading 0 keeps the whole lap below the start.
    for (int j = 0; j < n - 1; ++j) ASSERT_LT(l.raw[s->i_map_y][j], 0.0f);
    // The start, at the top of the circle, is the last point: the lap closes there.
    EXPECT_GE(y[n - 1], 299);
    EXPECT_NEAR(x[n - 1], 150, 3);

    // 400 m over 100 pixels: one point every 4 m, one sample in two.
    ASSERT_EQ(lx_scaled_chart_lap_dist(h, 0, s->i_speed, 80.0f, 0.0f, n, 100, 100, 7, 200, 0.0f,
                                       x.data(), y.data()),
              100);
    for (int p = 0; p < 100; ++p) ASSERT_EQ(x[p], p + 7);
    close_all_sessions();
}

} // namespace
