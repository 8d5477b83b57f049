#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "lx.h"
#include "support.h"

using namespace lxtest;

namespace {

class Handles : public testing::Test {
  protected:
    void SetUp() override { close_all_sessions(); }
    void TearDown() override { close_all_sessions(); }
};

TEST_F(Handles, LoadStateIsQuietAndEmpty) {
    EXPECT_EQ(lx::library.trace.verbose, 0);
    EXPECT_EQ(lx::library.trace.quiet, 1);
    EXPECT_EQ(lx::library.open_sessions, 0);
    ASSERT_NE(lx::library.text_buffer, nullptr);
}

TEST_F(Handles, EleventhSessionIsRefusedUntilOneIsFreed) {
    for (int h = 1; h <= 10; ++h) EXPECT_EQ(install(make_session({3}, 10)), h);
    lx::Session* extra = make_session({3}, 10);
    StdoutCapture out;
    EXPECT_EQ(install(extra), 0);
    EXPECT_EQ(out.text(), "Maximum number of sessions reached\n");
    {
        StdoutCapture quiet;
        lx_free_session(7);
    }
    EXPECT_EQ(install(extra), 7);
}

TEST_F(Handles, LowestFreeHandleIsReused) {
    for (int h = 1; h <= 5; ++h) install(make_session({2}, 10));
    StdoutCapture out;
    lx_free_session(3);
    EXPECT_EQ(install(make_session({2}, 10)), 3);
    EXPECT_EQ(install(make_session({2}, 10)), 6);
    EXPECT_EQ(out.text(), "Freeing session 3\n");
}

TEST_F(Handles, FreeingBadOrFreedHandlesOnlyPrints) {
    int h = install(make_session({4}, 10));
    long live = lx::live_allocations();
    StdoutCapture out;
    lx_free_session(0);
    lx_free_session(11);
    lx_free_session(-1);
    lx_free_session(h);
    lx_free_session(h);
    EXPECT_EQ(out.text(), "Freeing session 0\nFreeing session 11\nFreeing session -1\n"
                          "Freeing session 1\nFreeing session 1\n");
    EXPECT_EQ(lx::library.open_sessions, 0);
    EXPECT_LT(lx::live_allocations(), live);
    for (int bad : {0, 11, -1, h, INT32_MIN, INT32_MAX}) EXPECT_EQ(lx::lookup_session(bad), nullptr);
}

TEST_F(Handles, OpenAndFreeManyTimesNeverRunsOutOfHandles) {
    StdoutCapture quiet;
    for (int i = 0; i < 1000; ++i) {
        int h = install(make_session({1}, 10));
        ASSERT_EQ(h, 1);
        lx_free_session(h);
    }
}

TEST_F(Handles, NullFileNameIsRefused) {
    StdoutCapture out;
    EXPECT_EQ(lx_open_aim_xls(nullptr), 0);
    EXPECT_EQ(out.text(), "Filename was null pointer\n");
    EXPECT_EQ(lx::library.open_sessions, 0);
}

TEST_F(Handles, RefusedFileGivesItsHandleBack) {
    StdoutCapture out;
    EXPECT_EQ(lx_open_aim_xls("/nonexistent/file.txt"), 0);
    EXPECT_EQ(out.text(), "Failed to open input file /nonexistent/file.txt\n"
                          "lx_open_aim_xls(): Open failed for /nonexistent/file.txt\n");
    EXPECT_EQ(lx::library.open_sessions, 0);
    EXPECT_EQ(lx::lookup_session(1), nullptr);
}

TEST_F(Handles, TextBufferHoldsLengthBeforeText) {
    const char* text = lx::return_text("Time");
    std::int32_t length;
    std::memcpy(&length, text - 4, 4);
    EXPECT_STREQ(text, "Time");
    EXPECT_EQ(length, 4);
    std::string long_text(200, 'x');
    text = lx::return_text(long_text.c_str());
    std::memcpy(&length, text - 4, 4);
    EXPECT_EQ(length, 123);
    EXPECT_EQ(std::string(text), std::string(123, 'x'));
}

} // namespace
