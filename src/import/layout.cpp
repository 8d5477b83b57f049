#include "import/layout.h"

#include "base/units.h"
#include "import/text.h"
#include "lx_data.h"

namespace lx {

namespace {

constexpr double STANDARD_GRAVITY = 9.80665;

} // namespace

int first_column(const Layout& layout, std::initializer_list<const char*> keys) {
    for (const char* key : keys)
        for (std::size_t i = 0; i < layout.columns.size(); ++i)
            if (match_key(layout.columns[i].title) == key) return int(i);
    return NONE;
}

void convert_units(Column& c) {
    std::string unit = match_key(c.unit);
    if (unit == "m/s") {
        c.scale = KMH_PER_MS, c.unit = "km/h";
    } else if (unit == "mph") {
        c.scale = KMH_PER_MPH, c.unit = "km/h";
    } else if (unit == "m/s²" || unit == "m/s^2" || unit == "m/s2") {
        c.scale = 1.0 / STANDARD_GRAVITY, c.unit = "g";
    }
}

namespace {

void find_distance(Layout& layout) {
    int column = first_column(layout, {"distance", "distancetraveled", "distanceongpsspeed"});
    if (column == NONE) return;
    std::string unit = match_key(layout.columns[column].unit);
    if (unit != "m" && unit != "km" && !unit.empty()) return;
    layout.distance = column;
    layout.distance_to_metres = unit == "km" ? 1000.0 : 1.0;
    // A column called Distance is the session's Distance; others stay as well.
    if (match_key(layout.columns[column].title) == "distance") layout.columns[column].keep = false;
}

void find_speed(Layout& layout) {
    int column = first_column(layout, {"gpsspeed", "speed", "vehiclespeed", "groundspeed"});
    if (column == NONE) return;
    std::string unit = match_key(layout.columns[column].unit);
    if (unit != "km/h" && unit != "kph" && !unit.empty()) return;
    layout.speed = column;
    layout.speed_to_metres_per_second = 1.0 / KMH_PER_MS;
}

std::string trimmed(std::string_view text) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    return std::string(text);
}

} // namespace

std::string title_list(const Layout& layout, bool kept_only) {
    std::string list;
    for (const Column& c : layout.columns)
        if (!kept_only || c.keep) list += (list.empty() ? "" : ", ") + c.title;
    return list;
}

void choose_channels(Layout& layout, const std::string& path, const std::string& choice) {
    if (choice.empty()) return;
    std::vector<bool> chosen(layout.columns.size(), false);
    std::size_t at = 0;
    while (at <= choice.size()) {
        std::size_t comma = std::min(choice.find(',', at), choice.size());
        std::string name = trimmed(std::string_view(choice).substr(at, comma - at));
        at = comma + 1;
        std::string key = match_key(name);
        if (name.empty() || key == "time" || key == "distance") continue; // always kept
        bool found = false;
        for (std::size_t i = 0; i < layout.columns.size(); ++i) {
            const std::string& title = layout.columns[i].title;
            if (match_key(title) == key || stored_name(title) == name) chosen[i] = found = true;
        }
        if (!found)
            refuse(LX_ERR_CHANNEL, path + ": no channel \"" + name + "\" (the file has " +
                                       title_list(layout, false) + ")");
    }
    for (std::size_t i = 0; i < layout.columns.size(); ++i)
        layout.columns[i].keep = layout.columns[i].keep && chosen[i];
}

int session_channel_count(const Layout& layout) {
    int count = 3; // sample index, Time, Distance
    for (const Column& c : layout.columns) count += c.keep ? 1 : 0;
    if (layout.latitude != NONE && layout.longitude != NONE) count += 2;
    return count;
}

void complete_layout(Layout& layout, const CsvLines& lines, const ImportOptions& options) {
    for (Column& c : layout.columns) {
        convert_units(c);
        // RaceChrono's lateral acceleration is positive in left-hand turns.
        if (layout.format == FileFormat::racechrono_csv && match_key(c.title) == "lateralacc")
            c.scale = -c.scale;
    }
    layout.columns[layout.time].keep = false;
    if (layout.lap_number != NONE) layout.columns[layout.lap_number].keep = false;
    layout.latitude = first_column(layout, {"latitude", "gpslatitude", "lat"});
    layout.longitude = first_column(layout, {"longitude", "gpslongitude", "lon", "lng"});
    find_distance(layout);
    find_speed(layout);
    choose_channels(layout, lines.path(), options.channels);
    int count = session_channel_count(layout);
    if (count > MAX_FILE_CHANNELS)
        refuse(LX_ERR_LIMIT,
               lines.path() + ": " + std::to_string(count) +
                   " channels with Time, Distance and the position; a session holds " +
                   std::to_string(MAX_FILE_CHANNELS) +
                   ": pick some with --channels NAME,NAME,... (the file has " +
                   title_list(layout, true) + ")");
}

} // namespace lx
