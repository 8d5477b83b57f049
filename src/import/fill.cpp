// Second pass: every value onto the samples of the plan. Each column keeps
// its last value and fills the samples up to its next one by straight lines,
// so a source that skips rows is interpolated and an even grid costs nothing
// more than the file's own rows.
#include <cmath>
#include <cstring>

#include "import/gps_line.h"
#include "import/passes.h"
#include "import/projection.h"

namespace lx {

namespace {

// One column's way onto the samples.
struct Track {
    int column = 0;
    int store = -1; // session channel, or -1
    double scale = 1.0;
    bool north = false, east = false, distance = false, speed = false;
    bool have = false;
    double prev_t = 0, prev_v = 0;
    long next = 0;      // the next sample to fill
    bool plain = false; // stored only, nothing derived from it
    int lap = 0;        // the lap last written
    double base = 0, travelled = 0, prev_speed = 0;
};

class Filler {
  public:
    Filler(const Layout& layout, const SamplePlan& plan, Session& s, int east, int north)
        : layout_(layout), plan_(plan), s_(s), east_(east), north_(north),
          begin_(plan.laps.front().first), end_(plan.laps.back().first + plan.laps.back().count),
          projection_(projection_at(plan.origin_latitude)) {}

    // Finds, once for all the row's columns, the sample that a row at time t
    // falls on exactly, if one does.
    void start_row(double t) {
        const std::vector<double>& times = plan_.times;
        while (row_sample_ < end_ && times[row_sample_] < t) ++row_sample_;
        row_exact_ = row_sample_ < end_ && times[row_sample_] == t && row_sample_ >= begin_;
        if (!row_exact_) return;
        while (row_lap_ + 1 < s_.nlaps && row_sample_ >= plan_.laps[row_lap_ + 1].first) ++row_lap_;
        row_arrays_ = s_.laps[row_lap_].raw;
        row_index_ = row_sample_ - plan_.laps[row_lap_].first;
    }

    void feed(Track& track, double t, double v) {
        const std::vector<double>& times = plan_.times;
        // The common case: the value of the next sample, taken at its time.
        if (track.plain && row_exact_ && track.next == row_sample_) {
            row_arrays_[track.store][row_index_] = static_cast<float>(v * track.scale);
            track.next = row_sample_ + 1;
            track.have = true;
            track.prev_t = t;
            track.prev_v = v;
            return;
        }
        while (track.next < end_ && times[track.next] <= t) {
            double tg = times[track.next];
            double value = !track.have || tg == t
                               ? v
                               : track.prev_v + (v - track.prev_v) *
                                                    ((tg - track.prev_t) / (t - track.prev_t));
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
            raw[north_][j] =
                static_cast<float>((v - plan_.origin_latitude) * projection_.north_per_degree);
        if (track.east)
            raw[east_][j] =
                static_cast<float>((v - plan_.origin_longitude) * projection_.east_per_degree);
        if (track.distance) {
            if (j == 0) track.base = v;
            raw[2][j] = static_cast<float>((v - track.base) * layout_.distance_to_metres);
        }
        if (track.speed) {
            double speed = v * track.scale * layout_.speed_to_metres_per_second;
            double step = plan_.times[g] - (g > 0 ? plan_.times[g - 1] : 0.0);
            track.travelled =
                j == 0 ? 0.0 : track.travelled + 0.5 * (track.prev_speed + speed) * step;
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
    long row_sample_ = 0;
    bool row_exact_ = false;
    int row_lap_ = 0;
    float* const* row_arrays_ = nullptr;
    long row_index_ = 0;
};

std::vector<Track> tracks_for(const Layout& layout, const SamplePlan& plan,
                              const std::vector<int>& store) {
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
        t.plain = t.store >= 0 && !(t.north || t.east || t.distance || t.speed);
        if (t.store >= 0 || t.north || t.east || t.distance || t.speed) tracks.push_back(t);
    }
    return tracks;
}

// One sample row, split and converted in one walk: only the columns wanted
// are converted. Rows with doubled quotes take the general splitter.
class RowValues {
  public:
    explicit RowValues(const Layout& layout)
        : columns_(layout.columns.size()), wanted_(columns_, false), values_(columns_),
          kinds_(columns_), texts_(columns_) {
        want(layout.time);
    }
    void want(int column) { wanted_[std::size_t(column)] = true; }

    void read(const CsvLines& lines, std::string_view line) {
        const char* p = line.data();
        const char* end = p + line.size();
        std::size_t column = 0;
        bool last_empty = false;
        for (;; ++column, ++p) {
            bool quoted = p != end && *p == '"';
            const char close = quoted ? '"' : ',';
            const char* start = p + (quoted ? 1 : 0);
            bool wanted = column < columns_ && wanted_[column];
            // The common field, a plain number, is read in the same walk
            // that finds its end.
            bool converted = wanted && plain_number(column, start, end, quoted, p);
            if (!converted) p = start;
            while (p != end && *p != close) ++p;
            const char* stop = p;
            if (quoted) {
                if (p == end) refuse_at(lines, lines.line_number(), "a quote is not closed");
                if (++p != end && *p == '"') return read_general(lines, line);
                if (p != end && *p != ',')
                    refuse_at(lines, lines.line_number(), "text after a closing quote");
            }
            if (wanted && !converted) {
                texts_[column] = std::string_view(start, stop - start);
                kinds_[column] = read_number(texts_[column], values_[column]);
            }
            last_empty = start == stop;
            if (p == end) break;
        }
        check_field_count(lines, column + 1, columns_, last_empty);
    }

    // The text of a field that is no plain number.
    std::string_view text(int column) const { return texts_[std::size_t(column)]; }
    NumberKind kind(int column) const { return kinds_[std::size_t(column)]; }
    double value(int column) const { return values_[std::size_t(column)]; }

  private:
    // A plain number from start up to the field's end; on success, stop is
    // where the number ended.
    bool plain_number(std::size_t column, const char* start, const char* end, bool quoted,
                      const char*& stop) {
        double v;
        const char* q = scan_plain_number(start, end, v);
        if (q == nullptr || (q == end ? quoted : *q != (quoted ? '"' : ','))) return false;
        values_[column] = v;
        kinds_[column] = NumberKind::number;
        stop = q;
        return true;
    }

    void convert(std::size_t column, std::string_view field) {
        texts_[column] = field;
        kinds_[column] = read_number(field, values_[column]);
    }

    void read_general(const CsvLines& lines, std::string_view line) {
        split_fields(lines, line, fields_, scratch_);
        check_field_count(lines, fields_.size(), columns_, fields_.back().empty());
        for (std::size_t c = 0; c < columns_; ++c)
            if (wanted_[c]) convert(c, fields_[c]);
    }

    std::size_t columns_;
    std::vector<char> wanted_;
    std::vector<double> values_;
    std::vector<NumberKind> kinds_;
    std::vector<std::string_view> texts_;
    std::vector<std::string_view> fields_;
    std::string scratch_;
};

void fill_time_and_index(const SamplePlan& plan, Session& s) {
    float index = 0.0f;
    for (int l = 0; l < s.nlaps; ++l) {
        const LapPlan& lap = plan.laps[l];
        for (long j = 0; j < lap.count; ++j) {
            s.laps[l].raw[0][j] = index;
            index += 1.0f;
            s.laps[l].raw[1][j] =
                static_cast<float>(plan.times[lap.first + j] - plan.times[lap.first]);
        }
    }
}

// The arrays come uninitialized: those no column wrote (a column without a
// value, Distance without a distance or speed, East and North without a
// position) read 0, as the text-export reader leaves them.
void zero_unwritten(Session& s, const std::vector<Track>& tracks, int east, int north) {
    std::vector<char> written(std::size_t(s.nchannels), 0);
    written[0] = written[1] = 1; // the sample index and Time
    for (const Track& track : tracks) {
        if (!track.have) continue;
        if (track.store >= 0) written[std::size_t(track.store)] = 1;
        if (track.distance || track.speed) written[2] = 1;
        if (track.north) written[std::size_t(north)] = 1;
        if (track.east) written[std::size_t(east)] = 1;
    }
    for (int c = 0; c < s.nchannels; ++c)
        if (!written[std::size_t(c)])
            for (int l = 0; l < s.nlaps; ++l)
                std::memset(s.laps[l].raw[c], 0, std::size_t(s.laps[l].npoints) * sizeof(float));
}

} // namespace

void fill_samples(CsvLines& lines, const Layout& layout, const SamplePlan& plan, Session& s,
                  const std::vector<int>& store, int east, int north) {
    Filler filler(layout, plan, s, east, north);
    std::vector<Track> tracks = tracks_for(layout, plan, store);
    RowValues row(layout);
    for (const Track& track : tracks) row.want(track.column);
    Timeline timeline(layout, lines);
    std::string_view line;
    auto superseded = plan.superseded.begin();
    seek_samples(lines, layout);
    while (lines.next(line)) {
        if (line.empty()) continue;
        row.read(lines, line);
        double t;
        double file_time = row.kind(layout.time) == NumberKind::number
                               ? row.value(layout.time)
                               : row_time(lines, layout, row.text(layout.time));
        if (timeline.place(file_time, t) == Timeline::Placed::repeated) continue;
        while (superseded != plan.superseded.end() && *superseded < lines.line_number())
            ++superseded;
        if (superseded != plan.superseded.end() && *superseded == lines.line_number()) continue;
        filler.start_row(t);
        for (Track& track : tracks) {
            NumberKind kind = row.kind(track.column);
            if (kind == NumberKind::empty) continue;
            if (kind == NumberKind::bad)
                refuse_at(lines, lines.line_number(),
                          "field " + std::to_string(track.column + 1) + " (" +
                              layout.columns[track.column].title + ") \"" +
                              std::string(row.text(track.column).substr(0, 40)) +
                              "\" is not a number");
            filler.feed(track, t, row.value(track.column));
        }
    }
    for (Track& track : tracks) filler.finish(track);
    fill_time_and_index(plan, s);
    zero_unwritten(s, tracks, east, north);
}

} // namespace lx
