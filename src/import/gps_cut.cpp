// A session with positions cut into laps where its track crosses a line.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "import/gps_line.h"
#include "session/record.h"

namespace lx {

namespace {

constexpr double GAP_STEPS = 5.0;       // a step this many sample intervals long is a gap,
constexpr double MIN_GAP_SECONDS = 1.0; // and at least this long

struct Deleter {
    void operator()(Session* s) const { free_session(s); }
};
using Owned = std::unique_ptr<Session, Deleter>;

int channel_named(const Session& s, const char* name) {
    for (int c = 0; c < s.nfile_channels && c < s.nchannels; ++c)
        if (std::strcmp(s.channels[c].name, name) == 0) return c;
    return -1;
}

// Every sample in time order: session seconds, place, distance from the start.
struct Walk {
    GpsTrack track;
    std::vector<double> distance;
    std::vector<int> lap, index; // where each sample sits in the session
};

// A refused cut: its cause in words and its kind.
struct Refusal {
    std::string& message;
    LineCutFailure kind;
    // Sets both; null, for the caller to return.
    std::nullptr_t operator()(LineCutFailure why, const Session& s, const std::string& text) {
        kind = why;
        message = std::string(s.filename) + ": " + text;
        return nullptr;
    }
};

bool walk(const Session& s, Walk& w, Refusal& refuse) {
    int east = channel_named(s, "East"), north = channel_named(s, "North");
    if (east < 0 || north < 0 || s.record == nullptr || s.nfile_channels < 3) {
        refuse(LineCutFailure::no_positions, s,
               "no East and North channels: no positions to cut at");
        return false;
    }
    double gap = s.sample_rate > 0 ? GAP_STEPS / double(s.sample_rate) : MIN_GAP_SECONDS;
    if (gap < MIN_GAP_SECONDS) gap = MIN_GAP_SECONDS;
    double lap_start = 0, lap_distance = 0;
    for (int l = 0; l < s.nlaps; ++l) {
        const Lap& lap = s.laps[l];
        for (int j = 0; j < lap.npoints; ++j) {
            double t = lap_start + double(lap.raw[1][j]);
            PlanePoint p{lap.raw[east][j], lap.raw[north][j]};
            bool joins = !w.track.t.empty() && t - w.track.t.back() <= gap;
            if (j == 0 && !w.track.t.empty())
                lap_distance =
                    w.distance.back() + std::hypot(p.x - w.track.x.back(), p.y - w.track.y.back());
            w.track.add(t, p, joins);
            w.distance.push_back(lap_distance + double(lap.raw[2][j]));
            w.lap.push_back(l), w.index.push_back(j);
        }
        lap_start += double(lap.raw_laptime);
    }
    if (w.track.size() < 2) {
        refuse(LineCutFailure::too_few_samples, s, "too few samples to cut");
        return false;
    }
    return true;
}

std::string line_text(const double (&ends)[4]) {
    char text[160];
    std::snprintf(text, sizeof text, "%.7f,%.7f,%.7f,%.7f", ends[0], ends[1], ends[2], ends[3]);
    return text;
}

void copy_head(const Session& s, Session& cut) {
    std::memcpy(cut.filename, s.filename, sizeof cut.filename);
    std::memcpy(cut.driver, s.driver, sizeof cut.driver);
    std::memcpy(cut.venue, s.venue, sizeof cut.venue);
    std::memcpy(cut.vehicle, s.vehicle, sizeof cut.vehicle);
    cut.nchannels = cut.nfile_channels = s.nfile_channels;
    std::memcpy(cut.channels, s.channels, sizeof(Channel) * std::size_t(s.nfile_channels));
    cut.sample_rate = s.sample_rate;
}

// First samples of the laps: the session's first, then the first at or
// after each crossing.
std::vector<std::size_t> lap_firsts(const Walk& w, const std::vector<double>& crossings) {
    std::vector<std::size_t> firsts{0};
    std::size_t g = 0;
    for (double c : crossings) {
        while (g < w.track.size() && w.track.t[g] < c) ++g;
        if (g < w.track.size() && g != firsts.back()) firsts.push_back(g);
    }
    return firsts;
}

void fill_lap(const Session& s, const Walk& w, std::size_t first, std::size_t end, Lap& lap) {
    for (std::size_t g = first; g < end; ++g) {
        auto j = static_cast<int>(g - first);
        const Lap& from = s.laps[w.lap[g]];
        for (int c = 0; c < s.nfile_channels; ++c) lap.raw[c][j] = from.raw[c][w.index[g]];
        lap.raw[1][j] = static_cast<float>(w.track.t[g] - w.track.t[first]);
        lap.raw[2][j] = static_cast<float>(w.distance[g] - w.distance[first]);
    }
    int n = lap.npoints;
    double last = lap.raw[1][n - 1];
    lap.raw_laptime = static_cast<float>(last + (n > 1 ? last - double(lap.raw[1][n - 2]) : 0.0));
    lap.laptime = lap.raw_laptime;
}

Session* build(const Session& s, const Walk& w, const std::vector<double>& crossings,
               const double (&ends)[4], Refusal& refuse) {
    std::vector<std::size_t> firsts = lap_firsts(w, crossings);
    if (int(firsts.size()) > MAX_LAPS - 1)
        return refuse(LineCutFailure::too_many_laps, s,
                      std::to_string(firsts.size()) + " laps at the line; a session holds " +
                          std::to_string(MAX_LAPS - 1));
    Owned cut(new_session());
    if (!cut) throw std::bad_alloc();
    copy_head(s, *cut);
    cut->record = new SessionRecord(*s.record);
    SessionRecord& record = *cut->record;
    record.splits.clear(), record.split_gates.clear(), record.logger_ms.clear();
    record.has_start_gate = true;
    record.start_gate = {"Start", {ends[0], ends[2]}, {ends[1], ends[3]}};
    record.notes.push_back("cut at the line " + line_text(ends));
    float* next = alloc_samples(cut.get(), w.track.size() * std::size_t(s.nfile_channels));
    if (next == nullptr) throw std::bad_alloc();
    cut->nlaps = int(firsts.size());
    for (std::size_t k = 0; k < firsts.size(); ++k) {
        std::size_t end = k + 1 < firsts.size() ? firsts[k + 1] : w.track.size();
        Lap& lap = cut->laps[k];
        lap.npoints = int(end - firsts[k]);
        lap.number = int(k) + 1;
        for (int c = 0; c < s.nfile_channels; ++c, next += lap.npoints) lap.raw[c] = next;
        fill_lap(s, w, firsts[k], end, lap);
        long long ms = -1;
        if (k > 0 && k + 1 < firsts.size())
            ms = std::llround(crossings[k] * 1000) - std::llround(crossings[k - 1] * 1000);
        if (ms >= 0) lap.laptime = float(double(ms) / 1000.0);
        record.logger_ms.push_back(ms);
    }
    return cut.release();
}

// Crossings whose lap would begin at no sample of its own are left out, so
// that crossing k starts lap k + 1.
std::vector<double> usable(const Walk& w, std::vector<double> crossings) {
    std::vector<double> kept;
    std::size_t g = 0, last = 0;
    for (double c : crossings) {
        while (g < w.track.size() && w.track.t[g] < c) ++g;
        if (g < w.track.size() && g != last) kept.push_back(c), last = g;
    }
    return kept;
}

Session* cut_walk(const Session& s, const Walk& w, const double (&ends)[4], Refusal& refuse) {
    LocalPlane plane(s.record->origin_latitude, s.record->origin_longitude);
    Gate gate{plane.to_plane(ends[0], ends[1]), plane.to_plane(ends[2], ends[3])};
    std::vector<double> crossings = usable(w, gate_times(w.track, gate));
    if (crossings.empty())
        return refuse(LineCutFailure::no_crossing, s,
                      "the track never crosses the line " + line_text(ends));
    return build(s, w, crossings, ends, refuse);
}

Session* proposed_cut(const Session& s, Refusal& refuse) {
    Walk w;
    if (!walk(s, w, refuse)) return nullptr;
    ProposedLine line = propose_start_line(w.track);
    if (!line.found)
        return refuse(LineCutFailure::no_crossing, s,
                      "the track passes no place twice: no start line");
    LocalPlane plane(s.record->origin_latitude, s.record->origin_longitude);
    double ends[4];
    plane.to_degrees(line.line.a, ends[0], ends[1]);
    plane.to_degrees(line.line.b, ends[2], ends[3]);
    Session* cut = cut_walk(s, w, ends, refuse);
    if (cut != nullptr) refuse.message = proposal_text(line, plane);
    return cut;
}

} // namespace

Session* cut_at_line(const Session& s, const double (&ends)[4], std::string& message,
                     LineCutFailure* why) {
    Refusal refuse{message, LineCutFailure::none};
    Session* cut = nullptr;
    try {
        Walk w;
        if (walk(s, w, refuse)) cut = cut_walk(s, w, ends, refuse);
    } catch (const std::bad_alloc&) {
        refuse(LineCutFailure::memory, s, "out of memory");
    }
    if (why != nullptr) *why = refuse.kind;
    return cut;
}

Session* cut_at_proposed_line(const Session& s, std::string& message, LineCutFailure* why) {
    Refusal refuse{message, LineCutFailure::none};
    Session* cut = nullptr;
    try {
        cut = proposed_cut(s, refuse);
    } catch (const std::bad_alloc&) {
        refuse(LineCutFailure::memory, s, "out of memory");
    }
    if (why != nullptr) *why = refuse.kind;
    return cut;
}

} // namespace lx
