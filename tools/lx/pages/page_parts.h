// What the report and the compare page share: corner and sector tables, the
// corners numbered on a map, per-corner gains as bars, and the data and script
// that make the charts answer the mouse.
#pragma once

#include <string>
#include <vector>

#include "analysed.h"
#include "figures.h"
#include "markup.h"

namespace lxtool {

// A lap drawn on the charts; key names it in the page (data-lap), so that the
// script can show or hide it everywhere at once.
struct Trace {
    const Session* session;
    int lap; // from 0
    std::string key, label;
    svg::Pen pen;
};

// Where a corner starts and ends, metres into its lap, for the script's zoom.
markup::Attribute corner_from(const lx_corner& c);
markup::Attribute corner_to(const lx_corner& c);

// The pages' style sheet, one <style> element.
std::string page_style();

// Content wrapped so that the script finds it by its lap.
std::string lap_group(const std::string& key, const std::string& content);
// Where the script finds a chart's plotting area: data-area='x y w h'.
std::string data_area(const svg::Box& area);
// An SVG document given an id and data attributes, e.g. "id='map'".
std::string with_attributes(const std::string& svg, const std::string& attributes);

// The reference lap's corners over the full laps; ref_lap from 0.
std::string corner_table_html(const Session& s, const std::vector<lx_corner_summary>& corners,
                              int ref_lap);
std::string sector_table_html(const Session& s, const SectorTable& t);
// Numbered markers at the corners' apexes, set off to the inside of each bend,
// on the map that map_points gave for the reference lap in area.
std::string corner_markers(const std::vector<lx_corner>& corners, const std::vector<Point>& map,
                           const std::vector<double>& distances, const svg::Box& area);

struct CornerGains {
    Trace trace;
    std::vector<lx_stretch> stretches; // against the reference lap
};
// Bars of the time each lap lost (up) or gained (down) in each corner.
std::string corner_bars_figure(const std::vector<lx_corner>& corners,
                               const std::vector<CornerGains>& laps, const std::string& reference);

// The hover data, every HOVER_STEP metres of the reference lap (fine enough
// to read inside a zoomed corner): its map position and each trace's speed
// and time difference, as one JSON block.
constexpr double HOVER_STEP = 2.0;
std::string hover_data(const std::vector<Trace>& traces, const std::vector<Point>& map,
                       const std::vector<double>& map_distances, double length);
// The page's script: the figures are whole without it.
std::string page_script();
// The marker the script moves on the map; hidden until then.
std::string map_cursor();

} // namespace lxtool
