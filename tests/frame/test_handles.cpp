#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "lx.h"
#include "support.h"

using namespace lxtest;

namespace {

using Handles = FreshSessions;

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

// The text buffer is allocated at load; when that failed, the exports that
// return text refuse with null instead of writing through a null pointer.
TEST_F(Handles, TextExportsGiveNullWithoutATextBuffer) {
    int h = install(make_session({3}, 10.0f));
    ASSERT_NE(lx_channel_name(h, 1), nullptr);
    char* buffer = lx::library.text_buffer;
    lx::library.text_buffer = nullptr;
    EXPECT_EQ(lx_channel_name(h, 1), nullptr);
    EXPECT_EQ(lx_laptime_text(h, 0, 0, LX_UNIT_METRES), nullptr);
    lx::library.text_buffer = buffer;
    EXPECT_STREQ(lx_channel_name(h, 1), "Time");
}

} // namespace
