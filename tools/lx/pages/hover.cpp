// The data and the script behind the charts' hover and the lap table's
// clicks. The figures are drawn in full without them.
#include <algorithm>
#include <cmath>

#include "json.h"
#include "page_parts.h"

namespace lxtool {

namespace {

// A lap's channel every HOVER_STEP metres from its start line, up to length
// and its own end, linearly between samples.
std::vector<double> every_step(const std::vector<double>& at, const std::vector<float>& values,
                               double length) {
    std::vector<double> out;
    std::size_t n = std::min(at.size(), values.size()), j = 0;
    if (n == 0) return out;
    for (double d = 0; d <= length && d <= at[n - 1]; d += HOVER_STEP) {
        while (j + 2 < n && at[j + 1] <= d) ++j;
        double span = at[j + 1 < n ? j + 1 : j] - at[j];
        double f = span > 0 ? std::clamp((d - at[j]) / span, 0.0, 1.0) : 0.0;
        double next = values[j + 1 < n ? j + 1 : j];
        out.push_back(values[j] + (next - values[j]) * f);
    }
    return out;
}

void numbers(Json& json, const char* key, const std::vector<double>& values, int decimals,
             double scale = 1) {
    json.begin_array(key);
    for (double v : values) json.number(nullptr, v * scale, decimals);
    json.end_array();
}

void trace_json(Json& json, const Trace& t, double length) {
    const Session& s = *t.session;
    std::vector<double> at = lap_distances(s, t.lap);
    std::vector<float> speed = lap_samples(s, t.lap, derived_channel(s, LX_CHANNEL_SPEED));
    TimeDiff d = time_diff(s, t.lap); // on the reference lap's distances
    std::vector<float> diff(d.diff.begin(), d.diff.end());
    json.begin_object().text("key", t.key).text("label", t.label).text("colour", t.pen.colour);
    numbers(json, "speed", every_step(at, speed, length), 1, KMH);
    numbers(json, "diff", every_step(d.distance, diff, length), 2);
    json.end_object();
}

} // namespace

std::string hover_data(const std::vector<Trace>& traces, const std::vector<Point>& map,
                       const std::vector<double>& map_distances, double length) {
    std::vector<float> xs, ys;
    for (const Point& p : map) xs.push_back(float(p.x)), ys.push_back(float(p.y));
    std::vector<double> x = every_step(map_distances, xs, length);
    std::vector<double> y = every_step(map_distances, ys, length);
    std::vector<double> xy;
    for (std::size_t i = 0; i < x.size() && i < y.size(); ++i)
        xy.push_back(x[i]), xy.push_back(y[i]);
    Json json;
    json.begin_object().number("step", HOVER_STEP, 0).number("length", length, 1);
    numbers(json, "map", xy, 1);
    json.begin_array("laps");
    for (const Trace& t : traces) trace_json(json, t, length);
    json.end_array().end_object();
    // The writer puts '<' as \u003c, so the text cannot end the element early.
    return "<script id='lx-data' type='application/json'>" + json.str() + "</script>\n";
}

std::string map_cursor() {
    return "<circle id='cursor' r='7' fill='none' stroke='#c00' stroke-width='3' "
           "visibility='hidden'/>\n";
}

} // namespace lxtool
