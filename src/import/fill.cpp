// Second pass: every value onto the samples of the plan. Each column keeps
// its last value and fills the samples up to its next one by straight lines,
// so a source that skips rows is interpolated and an even grid costs nothing
// more than the file's own rows.
#include <cmath>
#include <numbers>

#include "import/passes.h"

namespace lx {

namespace {

// WGS-84, for metres per degree at the origin.
constexpr double EARTH_A = 6378137.0;
constexpr double EARTH_F = 1.0 / 298.257223563;
constexpr double RADIANS_PER_DEGREE = std::numbers::pi / 180.0;

struct Projection {
    double north_per_degree = 0, east_per_degree = 0;
};

Projection projection_at(double latitude) {
    double e2 = EARTH_F * (2.0 - EARTH_F);
    double s = std::sin(latitude * RADIANS_PER_DEGREE);
    double w = 1.0 - e2 * s * s;
    double prime_vertical = EARTH_A / std::sqrt(w);
    double meridian = EARTH_A * (1.0 - e2) / (w * std::sqrt(w));
    return {meridian * RADIANS_PER_DEGREE,
            prime_vertical * std::cos(latitude * RADIANS_PER_DEGREE) * RADIANS_PER_DEGREE};
}

// One column's way onto the samples.
struct Track {
    int column = 0;
    int store = -1; // session channel, or -1
    double scale = 1.0;
    bool north = false, east = false, distance = false, speed = false;
    bool have = false;
    double prev_t = 0, prev_v = 0;
    long next = 0; // the next sample to fill
    int lap = 0;
    double base = 0, travelled = 0, prev_speed = 0;
};

class Filler {
  public:
    Filler(const Layout& layout, const SamplePlan& plan, Session& s, int east, int north)
        : layout_(layout), plan_(plan), s_(s), east_(east), north_(north),
          begin_(plan.laps.front().first), end_(plan.laps.back().first + plan.laps.back().count),
          projection_(projection_at(plan.origin_latitude)) {}

    void feed(Track& track, double t, double v) {
        const std::vector<double>& times = plan_.times;
        while (track.next < end_ && times[track.next] <= t) {
            double tg = times[track.next];
            double value = !track.have || tg == t
                               ? v
                               : track.prev_v + (v - track.prev_v) * ((tg - track.prev_t) / (t - track.prev_t));
            put(track, track.next++, value);
        }
        track.have = true;
        track.prev_t = t;
        track.prev_v = v;
    }

    void finish(Track& track) {
        while (track.have && track.next < end_) put(track, track.next++, track.prev_v);
    }

  private:
    void put(Track& track, long g, double v) {
        if (g < begin_) return;
        while (track.lap + 1 < s_.nlaps && g >= plan_.laps[track.lap + 1].first) ++track.lap;
        long j = g - plan_.laps[track.lap].first;
        float* const* raw = s_.laps[track.lap].raw;
        if (track.store >= 0) raw[track.store][j] = static_cast<float>(v * track.scale);
        if (track.north)
            raw[north_][j] = static_cast<float>((v - plan_.origin_latitude) * projection_.north_per_degree);
        if (track.east)
            raw[east_][j] = static_cast<float>((v - plan_.origin_longitude) * projection_.east_per_degree);
        if (track.distance) {
            if (j == 0) track.base = v;
            raw[2][j] = static_cast<float>((v - track.base) * layout_.distance_to_metres);
        }
        if (track.speed) {
            double speed = v * track.scale * layout_.speed_to_metres_per_second;
            double step = plan_.times[g] - (g > 0 ? plan_.times[g - 1] : 0.0);
            track.travelled = j == 0 ? 0.0 : track.travelled + 0.5 * (track.prev_speed + speed) * step;
            track.prev_speed = speed;
            raw[2][j] = static_cast<float>(track.travelled);
        }
    }

    const Layout& layout_;
    const SamplePlan& plan_;
    Session& s_;
    int east_, north_;
    long begin_, end_;
    Projection projection_;
};

std::vector<Track> tracks_for(const Layout& layout, const SamplePlan& plan, const std::vector<int>& store) {
    std::vector<Track> tracks;
    bool position = plan.has_origin;
    for (int i = 0; i < int(layout.columns.size()); ++i) {
        Track t;
        t.column = i;
        t.store = store[i];
        t.scale = layout.columns[i].scale;
        t.north = position && i == layout.latitude;
        t.east = position && i == layout.longitude;
        t.distance = i == layout.distance;
        t.speed = layout.distance == NONE && i == layout.speed;
        if (t.store >= 0 || t.north || t.east || t.distance || t.speed) tracks.push_back(t);
    }
    return tracks;
}

void fill_time_and_index(const SamplePlan& plan, Session& s) {
    float index = 0.0f;
    for (int l = 0; l < s.nlaps; ++l) {
        const LapPlan& lap = plan.laps[l];
        for (long j = 0; j < lap.count; ++j) {
            s.laps[l].raw[0][j] = index;
            index += 1.0f;
            s.laps[l].raw[1][j] = static_cast<float>(plan.times[lap.first + j] - plan.times[lap.first]);
        }
    }
}

} // namespace

void fill_samples(CsvLines& lines, const Layout& layout, const SamplePlan& plan, Session& s,
                  const std::vector<int>& store, int east, int north) {
    Filler filler(layout, plan, s, east, north);
    std::vector<Track> tracks = tracks_for(layout, plan, store);
    Timeline timeline(layout, lines);
    std::vector<std::string_view> fields;
    std::string scratch;
    std::string_view line;
    auto superseded = plan.superseded.begin();
    seek_samples(lines, layout);
    while (lines.next(line)) {
        if (line.empty()) continue;
        split_fields(lines, line, fields, scratch);
        check_field_count(lines, fields.size(), layout.columns.size(), fields.back().empty());
        double t;
        if (timeline.place(row_time(lines, layout, fields[layout.time]), t) == Timeline::Placed::repeated)
            continue;
        while (superseded != plan.superseded.end() && *superseded < lines.line_number()) ++superseded;
        if (superseded != plan.superseded.end() && *superseded == lines.line_number()) continue;
        for (Track& track : tracks) {
            double v;
            std::string_view field = fields[track.column];
            NumberKind kind = read_number(field, v);
            if (kind == NumberKind::empty) continue;
            if (kind == NumberKind::bad)
                refuse_at(lines, lines.line_number(),
                          "field " + std::to_string(track.column + 1) + " (" + layout.columns[track.column].title +
                              ") \"" + std::string(field.substr(0, 40)) + "\" is not a number");
            filler.feed(track, t, v);
        }
    }
    for (Track& track : tracks) filler.finish(track);
    fill_time_and_index(plan, s);
}

} // namespace lx
