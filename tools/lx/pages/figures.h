// Figures drawn from what the library's map and chart exports return.
#pragma once

#include <string>
#include <vector>

#include "svg.h"
#include "tool.h"

namespace lxtool {

// Pixels of the library's window per SVG pixel: the exports give whole
// pixels, so they draw into a finer window that the SVG scales down.
constexpr int FINE = 4;

// A lap's speed in km/h, one value per sample.
std::vector<double> speed_kmh(const Session& s, int lap);

// The track map of a lap inside area, coloured by speed_kmh (one value per
// sample) when it is given: drawn from the GPS track where there is one, else
// dead-reckoned by the library.
std::string track_map(const Session& s, int lap, const svg::Box& area,
                      const std::vector<double>& speed_kmh, float heading);

struct Point {
    double x, y;
};
// Where track_map draws each sample of the lap inside area, in SVG pixels;
// empty when the lap has no map.
std::vector<Point> map_points(const Session& s, int lap, const svg::Box& area, float heading);

// Lap b of session b on the map of lap a (heading 0) in area. Where a's map
// is drawn from GPS, from b's GPS track: east and north keep their
// directions, so b's track moves by the shift that lays its centre on a's
// (empty when b has none). Else b's dead-reckoned map as the library lays it
// on a's.
std::vector<Point> laid_on(const Session& a, int lap_a, const Session& b, int lap_b,
                           const svg::Box& area);
// A line through points, thinned to what can be seen.
std::string line_through(const std::vector<Point>& points, const svg::Pen& pen);

// One line per full lap with how far its dead-reckoned map lies from its
// GPS track, in % of the lap's length; none without a GPS track.
std::vector<std::string> reckoning_lines(const Session& s);

// Metres from the start line of each sample, as the library lays a lap out.
std::vector<double> lap_distances(const Session& s, int lap);

// Height over width of a lap's map, to size its figure.
double map_aspect(const Session& s, int lap);

// The colour bar for a map coloured by speed.
std::string speed_bar(double x, double y, double width, double lo, double hi);

struct ChartSpec {
    int channel;
    float cmin, cmax; // values at the bottom and top of area
    float dist_range; // metres across area; below 1 the lap's own length
    svg::Box area;
};
struct ChartLine {
    std::string svg;  // "" for a lap without length or samples
    double end_y = 0; // where the line ends, in SVG pixels
};
// One lap of a channel against distance, as the chart export places it.
ChartLine chart_line(const Session& s, int lap, const ChartSpec& spec, const svg::Pen& pen);

// Values against metres on the axes x and y of area.
ChartLine curve_line(const std::vector<double>& metres, const std::vector<double>& values,
                     const svg::Box& area, const svg::Axis& x, const svg::Axis& y,
                     const svg::Pen& pen);

// Clips what follows to area, until the returned group is closed with "</g>".
std::string clip_to(const svg::Box& area, const std::string& id);

} // namespace lxtool
