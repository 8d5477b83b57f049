#include <gtest/gtest.h>

#include "data/dates.h"

namespace {

std::string day_of(const char* format, const char* date, double start_time = 0) {
    lx::SessionRecord r;
    r.format = format;
    r.date = date;
    r.start_time = start_time;
    return lx::data::session_day(r);
}

} // namespace

// Each format's way of writing a date, and the dates that read two ways.
TEST(SessionDay, ReadPerFormat) {
    EXPECT_EQ(day_of("AiM CSV", "Saturday, November 8, 2025"), "2025-11-08");
    EXPECT_EQ(day_of("AiM CSV", "01/11/07"), "");               // no century
    EXPECT_EQ(day_of("MoTeC LD", "23/11/2005"), "2005-11-23");  // day first
    EXPECT_EQ(day_of("VBO", "04/07/2026"), "2026-07-04");       // day first
    EXPECT_EQ(day_of("MoTeC CSV", "5/3/2026"), "");             // either order
    EXPECT_EQ(day_of("MoTeC CSV", "13/12/2026"), "2026-12-13"); // a day past 12
    EXPECT_EQ(day_of("MoTeC CSV", "12/13/2026"), "2026-12-13");
    EXPECT_EQ(day_of("MoTeC CSV", "2023-04-04"), "2023-04-04"); // year first
    EXPECT_EQ(day_of("MoTeC CSV", "1/1/1969"), "");             // before Unix time
    EXPECT_EQ(day_of("MoTeC CSV", "29/2/2023"), "");            // no such day
    EXPECT_EQ(day_of("MoTeC CSV", "29/2/2024"), "2024-02-29");
    EXPECT_EQ(day_of("MoTeC CSV", "29/2/2100"), "");
    EXPECT_EQ(day_of("MoTeC LD", "01/01/1970"), "1970-01-01");
    EXPECT_EQ(day_of("VBO", "31/04/2024"), "");
    EXPECT_EQ(day_of("MoTeC CSV", "31/12/9999"), "9999-12-31");
    EXPECT_EQ(day_of("MoTeC CSV", "1/12/10000"), "");
    EXPECT_EQ(day_of("text export", "12/3"), "");
    // RaceChrono and iRacing go by the Unix start time, in UTC.
    EXPECT_EQ(day_of("RaceChrono CSV", "31/12/2025", 1767149999.0), "2025-12-31");
    EXPECT_EQ(day_of("RaceChrono CSV", "", 1767225600.0), "2026-01-01");
    EXPECT_EQ(day_of("iRacing telemetry", "", 951782400.0), "2000-02-29");
    EXPECT_EQ(day_of("iRacing telemetry", "", 0), "");
}
