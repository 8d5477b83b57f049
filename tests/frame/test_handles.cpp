#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "lx.h"
#include "support.h"

using namespace lxtest;

namespace {

using Handles = FreshSessions;

TEST_F(Handles, LowestFreeHandleUpToTenSessions) {
    EXPECT_EQ(lx::library.trace.verbose, 0); // the state at load: quiet
    EXPECT_EQ(lx::library.trace.quiet, 1);
    for (int h = 1; h <= 10; ++h) EXPECT_EQ(install(make_session({3}, 10)), h);
    lx::Session* extra = make_session({3}, 10);
    StdoutCapture out;
    EXPECT_EQ(install(extra), 0);
    lx_free_session(7);
    lx_free_session(3);
    EXPECT_EQ(install(extra), 3);
    EXPECT_EQ(install(make_session({2}, 10)), 7);
    EXPECT_EQ(out.text(), "Maximum number of sessions reached\nFreeing session 7\n"
                          "Freeing session 3\n");
    close_all_sessions();
    StdoutCapture quiet;
    for (int i = 0; i < 1000; ++i) {
        ASSERT_EQ(install(make_session({1}, 10)), 1);
        lx_free_session(1);
    }
}

TEST_F(Handles, FreeingBadOrFreedHandlesOnlyPrints) {
    int h = install(make_session({4}, 10));
    long live = lx::live_allocations();
    StdoutCapture out;
    for (int bad : {0, 11, -1, h, h}) lx_free_session(bad);
    EXPECT_EQ(out.text(), "Freeing session 0\nFreeing session 11\nFreeing session -1\n"
                          "Freeing session 1\nFreeing session 1\n");
    EXPECT_EQ(lx::library.open_sessions, 0);
    EXPECT_LT(lx::live_allocations(), live);
    for (int bad : {0, 11, -1, h, INT32_MIN, INT32_MAX})
        EXPECT_EQ(lx::lookup_session(bad), nullptr);
}

TEST_F(Handles, RefusedOpenGivesItsHandleBack) {
    StdoutCapture out;
    EXPECT_EQ(lx_open_aim_xls(nullptr), 0);
    EXPECT_EQ(lx_open_aim_xls("/nonexistent/file.txt"), 0);
    EXPECT_EQ(out.text(), "Filename was null pointer\n"
                          "Failed to open input file /nonexistent/file.txt\n"
                          "lx_open_aim_xls(): Open failed for /nonexistent/file.txt\n");
    EXPECT_EQ(lx::library.open_sessions, 0);
    EXPECT_EQ(lx::lookup_session(1), nullptr);
}

TEST_F(Handles, TextBufferHoldsLengthBeforeTextAndCutsLongText) {
    std::string long_text(200, 'x');
    const char* text = lx::return_text(long_text.c_str());
    std::int32_t length;
    std::memcpy(&length, text - 4, 4);
    EXPECT_EQ(length, 123);
    EXPECT_EQ(std::string(text), std::string(123, 'x'));
}

} // namespace
