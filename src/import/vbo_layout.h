// What a VBO header says: its columns matched by position across [header],
// [channel units] and [column names], the gates of [laptiming], the date.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "base/calendar.h"
#include "import/layout.h"

namespace lx {

constexpr double MINUTES_PER_DEGREE = 60.0; // latitude and longitude are written in minutes

struct VboGate {
    bool start = false; // Start, else Split
    std::string name;
    double values[4] = {0, 0, 0, 0}; // as written: minutes, in the file's order
    long line = 0;
};

struct VboLayout {
    Layout layout; // columns, time, latitude, longitude, speed, first data line
    int satellites = NONE;
    std::vector<VboGate> gates;
    bool racechrono = false;          // [comments] name the phone app: its lateral sign
    int day = 0, month = 0, year = 0; // from "File created on"; 0 when not said
};

VboLayout read_vbo_header(CsvLines& lines);

// Splits a row at blanks.
void split_blanks(std::string_view line, std::vector<std::string_view>& fields);

// A number as VBO writes it: a sign ('+' too), digits, a point, digits.
bool read_vbo_number(std::string_view field, double& value);

// The lateral accelerations VBO writers give positive in left-hand turns.
bool left_positive_lateral(std::string_view column_name, bool racechrono);

} // namespace lx
