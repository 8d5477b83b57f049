// Crossings of a GPS track with a line: one test for gates, proposed lines
// and cuts, on the flat plane East and North are drawn on.
#include "import/gps_line.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <numbers>

namespace lx {

namespace {

// WGS-84, for metres per degree at the origin.
constexpr double RADIANS_PER_DEGREE = std::numbers::pi / 180.0;

constexpr double SAME_PASS_SECONDS = 5.0; // crossings closer than this are one pass
constexpr double LINE_HALF_WIDTH = 10.0;  // metres: a rebuilt or proposed line is 20 m across
constexpr double NEAR_GATE = 15.0;        // metres: the track this close gives its heading
constexpr double PARALLEL_COSINE = 0.866; // within 30 degrees: the track runs along a gate
constexpr double MIN_SEGMENT = 0.1;       // metres: shorter steps give no heading
constexpr double MOVING_STEP = 1.0;       // metres between the neighbours of a candidate
constexpr std::size_t CANDIDATES = 64;    // places tried for a start line
constexpr int MIN_PASSES = 2;             // a proposed line bounds at least one lap

struct Crossing {
    double time;
    int side; // +1 or -1: which way the track went through
};

double cross(double ax, double ay, double bx, double by) {
    return ax * by - ay * bx;
}

std::vector<Crossing> all_crossings(const GpsTrack& track, const Gate& g) {
    std::vector<Crossing> found;
    const double ex = g.b.x - g.a.x, ey = g.b.y - g.a.y;
    const double left = std::min(g.a.x, g.b.x), right = std::max(g.a.x, g.b.x);
    const double low = std::min(g.a.y, g.b.y), high = std::max(g.a.y, g.b.y);
    for (std::size_t i = 1; i < track.size(); ++i) {
        if (!track.joined[i]) continue;
        double x0 = track.x[i - 1], y0 = track.y[i - 1], x1 = track.x[i], y1 = track.y[i];
        if ((x0 < left && x1 < left) || (x0 > right && x1 > right) || (y0 < low && y1 < low) ||
            (y0 > high && y1 > high))
            continue;
        double dx = x1 - x0, dy = y1 - y0;
        double denominator = cross(dx, dy, ex, ey);
        if (denominator == 0) continue;
        double wx = g.a.x - x0, wy = g.a.y - y0;
        double along_track = cross(wx, wy, ex, ey) / denominator;
        double along_gate = cross(wx, wy, dx, dy) / denominator;
        if (along_track >= 0 && along_track < 1 && along_gate >= 0 && along_gate <= 1)
            found.push_back({track.t[i - 1] + along_track * (track.t[i] - track.t[i - 1]),
                             denominator > 0 ? 1 : -1});
    }
    return found;
}

std::vector<double> one_way(const std::vector<Crossing>& crossings, int side) {
    std::vector<double> times;
    for (const Crossing& c : crossings)
        if (c.side == side && (times.empty() || c.time - times.back() >= SAME_PASS_SECONDS))
            times.push_back(c.time);
    return times;
}

// A line across the direction (ux, uy), a unit vector, through p.
Gate across(PlanePoint p, double ux, double uy) {
    return {{p.x - uy * LINE_HALF_WIDTH, p.y + ux * LINE_HALF_WIDTH},
            {p.x + uy * LINE_HALF_WIDTH, p.y - ux * LINE_HALF_WIDTH}};
}

// How closely the track near p runs along the unit direction (ux, uy): the
// mean |cosine| of its steps within NEAR_GATE; 0 when it does not come near.
double alignment_near(const GpsTrack& track, PlanePoint p, double ux, double uy) {
    double sum = 0;
    int steps = 0;
    for (std::size_t i = 1; i < track.size(); ++i) {
        if (!track.joined[i]) continue;
        double mx = 0.5 * (track.x[i] + track.x[i - 1]) - p.x;
        double my = 0.5 * (track.y[i] + track.y[i - 1]) - p.y;
        double dx = track.x[i] - track.x[i - 1], dy = track.y[i] - track.y[i - 1];
        double length = std::hypot(dx, dy);
        if (std::hypot(mx, my) > NEAR_GATE || length < MIN_SEGMENT) continue;
        sum += std::fabs(dx * ux + dy * uy) / length;
        ++steps;
    }
    return steps ? sum / steps : 0.0;
}

struct Candidate {
    int passes = 0;
    double step = 0; // metres between its neighbours: faster is a cleaner line
    ProposedLine line;
};

Candidate try_candidate(const GpsTrack& track, std::size_t i) {
    Candidate c;
    double dx = track.x[i + 1] - track.x[i - 1], dy = track.y[i + 1] - track.y[i - 1];
    c.step = std::hypot(dx, dy);
    double ux = dx / c.step, uy = dy / c.step;
    c.line.at = {track.x[i], track.y[i]};
    c.line.line = across(c.line.at, ux, uy);
    c.line.heading = std::fmod(std::atan2(ux, uy) / RADIANS_PER_DEGREE + 360.0, 360.0);
    const Gate& g = c.line.line;
    int side = cross(ux, uy, g.b.x - g.a.x, g.b.y - g.a.y) > 0 ? 1 : -1;
    c.passes = int(one_way(all_crossings(track, g), side).size());
    return c;
}

} // namespace

std::vector<double> gate_times(const GpsTrack& track, const Gate& gate) {
    std::vector<Crossing> crossings = all_crossings(track, gate);
    long balance = 0;
    for (const Crossing& c : crossings) balance += c.side;
    return one_way(crossings, balance >= 0 ? 1 : -1);
}

GateReading read_gate(const GpsTrack& track, PlanePoint first, PlanePoint second) {
    GateReading gate;
    gate.line = {first, second};
    gate.reading = "read as written: its two points are the ends of the line";
    double dx = second.x - first.x, dy = second.y - first.y, length = std::hypot(dx, dy);
    if (!(length >= MIN_SEGMENT)) return gate;
    double ux = dx / length, uy = dy / length;
    if (alignment_near(track, first, ux, uy) < PARALLEL_COSINE) return gate;
    gate.line = across(first, ux, uy);
    gate.across_first_point = true;
    gate.reading = "read as the line across the track through its first point (the track runs "
                   "along the written segment)";
    return gate;
}

ProposedLine propose_start_line(const GpsTrack& track) {
    std::vector<std::size_t> moving;
    for (std::size_t i = 1; i + 1 < track.size(); ++i)
        if (track.joined[i] && track.joined[i + 1] &&
            std::hypot(track.x[i + 1] - track.x[i - 1], track.y[i + 1] - track.y[i - 1]) >=
                MOVING_STEP)
            moving.push_back(i);
    Candidate best;
    std::size_t tries = std::min(CANDIDATES, moving.size());
    for (std::size_t k = 0; k < tries; ++k) {
        Candidate c = try_candidate(track, moving[k * moving.size() / tries]);
        if (c.passes > best.passes || (c.passes == best.passes && c.step > best.step)) best = c;
    }
    best.line.found = best.passes >= MIN_PASSES;
    return best.line;
}

std::string proposal_text(const ProposedLine& line, const LocalPlane& plane) {
    double latitude, longitude;
    plane.to_degrees(line.at, latitude, longitude);
    char text[128];
    std::snprintf(text, sizeof text, "start line proposed at %.6f,%.6f, heading %.0f", latitude,
                  longitude, line.heading);
    return text;
}

bool parse_line_text(const std::string& text, double (&ends)[4]) {
    const char* p = text.c_str();
    double v[4];
    for (int k = 0; k < 4; ++k) {
        char* end = nullptr;
        v[k] = std::strtod(p, &end);
        if (end == p || !std::isfinite(v[k])) return false;
        p = end;
        if (k < 3 && *p++ != ',') return false;
    }
    if (*p != '\0' || std::fabs(v[0]) > 90 || std::fabs(v[2]) > 90 || std::fabs(v[1]) > 180 ||
        std::fabs(v[3]) > 180 || (v[0] == v[2] && v[1] == v[3]))
        return false;
    std::copy(v, v + 4, ends);
    return true;
}

} // namespace lx
