// What a format's header says about the file: its columns, what each means,
// the logger's beacons and lap times, and where the samples begin. The
// format readers fill it; the shared passes read the samples by it.
#pragma once

#include <initializer_list>
#include <string>
#include <vector>

#include "import/csv_lines.h"
#include "import/import.h"

namespace lx {

struct Column {
    std::string title;  // UTF-8, as written
    std::string unit;   // UTF-8: as written, or the unit it was converted to
    std::string source; // RaceChrono's source row ("100: gps", "calc", ...)
    double scale = 1.0; // to km/h, g and AiM's lateral sign
    bool keep = true;   // stored as a channel of its own
};

// A column index or NONE.
constexpr int NONE = -1;

struct Layout {
    FileFormat format = FileFormat::unknown;
    std::vector<Column> columns;
    long first_data_line = 0; // counting from 1
    // Columns with a meaning beyond their samples.
    int time = NONE, lap_number = NONE, latitude = NONE, longitude = NONE;
    int distance = NONE, speed = NONE, gps_rate = NONE;
    double distance_to_metres = 1.0;
    double speed_to_metres_per_second = 1.0;
    bool unix_time = false;            // times are Unix seconds, rebased to the first row
    bool restarts = false;             // time may restart at 0 at a beacon
    bool resample = false;             // rows come unevenly: the samples go on an even grid
    double sample_rate = 0.0;          // the file's own, when it says
    std::string logger;                // the logger or program that wrote the file
    int named_lap = 0;                 // the logger's number of the one lap the file holds; 0
    double named_lap_time = -1;        // its time, seconds; < 0 when not stated
    std::vector<double> markers;       // beacons, seconds from the start
    std::vector<double> segment_times; // the logger's lap times, seconds
    std::string venue, vehicle, driver, date, time_of_day;
};

// Header readers: each leaves the layout's columns, metadata and first data line.
Layout read_aim_header(CsvLines& lines);
Layout read_motec_header(CsvLines& lines);
Layout read_racechrono_header(CsvLines& lines);

// Shared by the readers: finds the time, position, speed and distance
// columns, converts units, applies the channel choice and the channel limit.
void complete_layout(Layout& layout, const CsvLines& lines, const ImportOptions& options);

// The number of channels the session gets (index, Time, Distance, the kept
// columns, East and North).
int session_channel_count(const Layout& layout);

// The first column whose title, as a match key, is one of keys; NONE if none.
int first_column(const Layout& layout, std::initializer_list<const char*> keys);
// Speeds to km/h, accelerations to g; the unit then names what is stored.
void convert_units(Column& c);
// Keeps only the columns a comma-separated choice names (Time and Distance
// are always kept); refuses a name the file lacks.
void choose_channels(Layout& layout, const std::string& path, const std::string& choice);
// The titles, joined by ", ".
std::string title_list(const Layout& layout, bool kept_only);

// The session holds 128 channels; the session math adds 12.
constexpr int MAX_FILE_CHANNELS = 116;

} // namespace lx
