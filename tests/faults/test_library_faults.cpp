// The text buffer is allocated at load; when that failed, the exports that
// return text refuse with null instead of writing through a null pointer.
#include <gtest/gtest.h>

#include "lx.h"
#include "support.h"

using namespace lxtest;

TEST(LibraryFaults, TextExportsGiveNullWithoutATextBuffer) {
    close_all_sessions();
    int h = install(make_session({3}, 10.0f));
    ASSERT_NE(lx_channel_name(h, 1), nullptr);
    char* buffer = lx::library.text_buffer;
    lx::library.text_buffer = nullptr;
    EXPECT_EQ(lx_channel_name(h, 1), nullptr);
    EXPECT_EQ(lx_laptime_text(h, 0, 0, LX_UNIT_METRES), nullptr);
    lx::library.text_buffer = buffer;
    EXPECT_STREQ(lx_channel_name(h, 1), "Time");
    close_all_sessions();
}
