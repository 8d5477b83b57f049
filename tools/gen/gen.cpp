#include "gen.h"
#include "portable_math.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <numbers>

namespace lxgen {

namespace {

constexpr double G = 9.81;
constexpr double GRID = 0.5; // metres between curvature and speed values

// Own generator and normal deviates: the standard distributions differ
// between library vendors, and the sample must be the same everywhere.
struct Random {
    std::uint64_t state;
    std::uint64_t next() {
        std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    double uniform() { return double(next() >> 11) * 0x1.0p-53; }
    double uniform(double lo, double hi) { return lo + (hi - lo) * uniform(); }
    double normal() {
        double u = 1.0 - uniform();
        return std::sqrt(-2.0 * portable::log(u)) *
               portable::cos(2.0 * std::numbers::pi * uniform());
    }
};

// A straight followed by a bend; angle positive to the right.
struct Piece {
    double straight;
    double angle_deg;
    double radius;
};

// Twelve bends, run clockwise from the line on the main straight: a long
// back straight, a hairpin and a chicane.
constexpr Piece CIRCUIT[] = {
    {121, 90, 25}, {103, -45, 50}, {39, 135, 30}, {379, 60, 60}, {86, -60, 40}, {199, 150, 18},
    {82, -80, 30}, {28, 80, 30},   {42, 75, 70},  {49, -60, 50}, {31, 40, 60},  {35, -25, 80},
};
constexpr double FINAL_STRAIGHT = 121;

constexpr double BOX = 40;        // pit box, metres past the line
constexpr double PIT_EXIT = 110;  // metres past the line
constexpr double PIT_ENTRY = 100; // metres before the line
constexpr double PIT_LIMIT = 60 / 3.6;
constexpr double SMOOTHING = 24; // metres over which a bend's curvature builds up

std::vector<double> curvature_of(const std::vector<double>& straights, double angle_scale) {
    std::vector<double> k;
    auto add = [&](double metres, double value) {
        for (int n = int(std::lround(metres / GRID)); n > 0; --n) k.push_back(value);
    };
    for (std::size_t i = 0; i < std::size(CIRCUIT); ++i) {
        const Piece& p = CIRCUIT[i];
        add(straights[i], 0.0);
        double angle = p.angle_deg * angle_scale * std::numbers::pi / 180.0;
        add(std::fabs(angle) * p.radius, (angle > 0 ? 1.0 : -1.0) / p.radius);
    }
    add(straights.back(), 0.0);
    // Whole grid cells miss the turn slightly; one lap must turn once exactly.
    double turn = 0;
    for (double c : k) turn += c * GRID;
    for (double& c : k) c *= 2 * std::numbers::pi / turn;
    return k;
}

// Spreads every bend's curvature over SMOOTHING metres, as a car turns in.
std::vector<double> smooth_circular(const std::vector<double>& k) {
    int n = int(k.size()), half = int(SMOOTHING / GRID / 2);
    std::vector<double> out(k.size());
    for (int i = 0; i < n; ++i) {
        double sum = 0;
        for (int j = -half; j <= half; ++j) sum += k[std::size_t((i + j + n) % n)];
        out[std::size_t(i)] = sum / (2 * half + 1);
    }
    return out;
}

struct Walk {
    double x = 0, y = 0;
    std::vector<double> heading_at_straight;
};

// Follows the curvature; the heading of each straight tells how its length
// moves the end point.
Walk walk(const std::vector<double>& k, const std::vector<double>& straights, double angle_scale) {
    Walk w;
    double h = 0;
    std::size_t cell = 0;
    auto pass = [&](double metres) {
        for (int n = int(std::lround(metres / GRID)); n > 0; --n, ++cell) {
            h -= k[cell] * GRID;
            w.x += portable::cos(h) * GRID;
            w.y += portable::sin(h) * GRID;
        }
    };
    for (std::size_t i = 0; i < std::size(CIRCUIT); ++i) {
        w.heading_at_straight.push_back(h);
        pass(straights[i]);
        pass(std::fabs(CIRCUIT[i].angle_deg * angle_scale * std::numbers::pi / 180.0) *
             CIRCUIT[i].radius);
    }
    w.heading_at_straight.push_back(h);
    pass(straights.back());
    return w;
}

// Changes the straights by the least amount that closes the loop.
void close_loop(std::vector<double>& straights, double dx, double dy,
                const std::vector<double>& headings) {
    double a = 0, b = 0, c = 0; // U * U^T = [[a, b], [b, c]]
    for (double h : headings) {
        a += portable::cos(h) * portable::cos(h);
        b += portable::cos(h) * portable::sin(h);
        c += portable::sin(h) * portable::sin(h);
    }
    double det = a * c - b * b;
    double lx = (c * dx - b * dy) / det, ly = (a * dy - b * dx) / det;
    for (std::size_t i = 0; i < straights.size(); ++i)
        straights[i] -= portable::cos(headings[i]) * lx + portable::sin(headings[i]) * ly;
}

// Per-lap character of the driving.
struct LapStyle {
    double grip = 1.0;  // share of the car's cornering grip used
    double power = 1.0; // share of the engine's power used
    double brake = 1.0;
    std::vector<double> bend_margin; // per grid cell of the lap, around 1.0
    bool traffic = false;
};

constexpr double CORNER_G = 1.25;
constexpr double BRAKE_G = 1.15;
constexpr double POWER_PER_KG = 125.0; // W/kg
constexpr double DRAG = 4.5e-4;        // 1/m: drag deceleration per (m/s)^2
constexpr double TOP_SPEED = 205 / 3.6;

// Slowly varying deviations from the ideal speed, different every lap.
std::vector<double> bend_margins(Random& rng, std::size_t cells, double amplitude) {
    std::vector<double> m(cells, 1.0);
    for (int bump = 0; bump < 24; ++bump) {
        double centre = rng.uniform(0, double(cells)), width = rng.uniform(40, 160) / GRID;
        double size = amplitude * rng.normal();
        for (std::size_t i = 0; i < cells; ++i) {
            double d = (double(i) - centre) / width;
            if (std::fabs(d) < 3) m[i] += size * portable::exp(-d * d);
        }
    }
    return m;
}

std::vector<LapStyle> lap_styles(const SessionPlan& plan, Random& rng, std::size_t cells) {
    std::vector<LapStyle> styles(std::size_t(plan.flying_laps + 2));
    styles.front() = {0.82, 0.7, 0.85, bend_margins(rng, cells, 0.01), false};
    for (int lap = 1; lap <= plan.flying_laps; ++lap) {
        LapStyle& s = styles[std::size_t(lap)];
        // Tyres come in over the first laps; the rest scatter by a few tenths.
        s.grip = std::min(1.0, 0.955 + 0.012 * (lap - 1)) - std::fabs(rng.normal()) * 0.006;
        s.brake = rng.uniform(0.9, 1.0);
        s.bend_margin = bend_margins(rng, cells, 0.012);
        s.traffic = (lap == plan.traffic_lap);
    }
    styles.back() = {0.72, 0.45, 0.7, bend_margins(rng, cells, 0.01), false};
    return styles;
}

struct Run {
    double start;              // session distance of the first grid point
    std::vector<double> speed; // m/s per grid point
    std::vector<double> time;  // seconds per grid point
};

// Fastest speed profile within the car's limits, standing at both ends.
Run plan_speeds(const Track& track, const std::vector<LapStyle>& styles, int flying_laps) {
    Run run;
    run.start = BOX;
    double end = (flying_laps + 2) * track.length + BOX;
    std::size_t n = std::size_t((end - run.start) / GRID) + 1;
    std::vector<double> limit(n);
    std::vector<const LapStyle*> style(n);
    std::size_t cells = track.curvature.size();
    for (std::size_t i = 0; i < n; ++i) {
        double s = run.start + double(i) * GRID;
        std::size_t lap = std::min(std::size_t(s / track.length), styles.size() - 1);
        std::size_t cell = std::size_t(std::fmod(s, track.length) / GRID) % cells;
        const LapStyle& ls = styles[lap];
        style[i] = &ls;
        double k = std::max(std::fabs(track.curvature[cell]), 1e-5);
        double v = std::sqrt(CORNER_G * ls.grip * G / k) * ls.bend_margin[cell];
        double in_lap_pit = (flying_laps + 2) * track.length - PIT_ENTRY;
        if (s < PIT_EXIT || s > in_lap_pit) v = std::min(v, PIT_LIMIT);
        double frac = std::fmod(s, track.length) / track.length;
        if (ls.traffic && frac > 0.42 && frac < 0.62) v = std::min(v * 0.9, 110 / 3.6);
        limit[i] = std::min(v, TOP_SPEED);
    }
    std::vector<double>& v = run.speed;
    v.assign(n, 0.0);
    for (std::size_t i = 0; i + 1 < n; ++i) {
        const LapStyle& ls = *style[i];
        double drive = std::min(0.9 * G, POWER_PER_KG * ls.power / std::max(v[i], 1.0));
        double a = drive - DRAG * v[i] * v[i] - 0.15;
        v[i + 1] = std::min(limit[i + 1], std::sqrt(std::max(0.0, v[i] * v[i] + 2 * a * GRID)));
    }
    v.back() = 0.0;
    for (std::size_t i = n - 1; i > 0; --i) {
        double a = BRAKE_G * style[i]->brake * G + DRAG * v[i] * v[i];
        v[i - 1] = std::min(v[i - 1], std::sqrt(v[i] * v[i] + 2 * a * GRID));
    }
    run.time.assign(n, 0.0);
    for (std::size_t i = 1; i < n; ++i)
        run.time[i] = run.time[i - 1] + 2 * GRID / std::max(v[i - 1] + v[i], 1e-3);
    return run;
}

// Where the car is at a time since it started moving.
struct State {
    double distance; // session distance, metres
    double speed;    // m/s
    double accel;    // m/s^2
};

State state_at(const Run& run, double t) {
    if (t <= 0) return {run.start, 0, 0};
    auto it = std::upper_bound(run.time.begin(), run.time.end(), t);
    if (it == run.time.end()) return {run.start + double(run.time.size() - 1) * GRID, 0, 0};
    std::size_t i = std::size_t(it - run.time.begin()) - 1;
    double f = (t - run.time[i]) / (run.time[i + 1] - run.time[i]);
    double v0 = run.speed[i], v1 = run.speed[i + 1];
    return {run.start + (double(i) + f) * GRID, v0 + (v1 - v0) * f,
            (v1 * v1 - v0 * v0) / (2 * GRID)};
}

// Gearbox with hysteresis: rpm per km/h in each gear.
constexpr double GEARS[] = {118, 82, 62, 50, 42, 36};
constexpr double IDLE = 1050;

struct Engine {
    int gear = 0;
    double rpm(double kmh) {
        while (gear + 1 < int(std::size(GEARS)) && kmh * GEARS[gear] > 7200) ++gear;
        while (gear > 0 && kmh * GEARS[gear] < 3600) --gear;
        return std::max(IDLE, kmh * GEARS[gear]);
    }
};

constexpr double STANDING_START = 3.0; // seconds in the box before moving off
constexpr double STANDING_END = 5.0;

} // namespace

Track make_track() {
    std::vector<double> straights;
    for (const Piece& p : CIRCUIT) straights.push_back(p.straight);
    straights.push_back(FINAL_STRAIGHT);
    double turn = 0;
    for (const Piece& p : CIRCUIT) turn += p.angle_deg;
    double angle_scale = 360.0 / turn; // one clockwise turn per lap
    std::vector<double> k;
    for (int round = 0; round < 5; ++round) {
        k = smooth_circular(curvature_of(straights, angle_scale));
        Walk w = walk(k, straights, angle_scale);
        close_loop(straights, w.x, w.y, w.heading_at_straight);
    }
    Track t{0, GRID, smooth_circular(curvature_of(straights, angle_scale)), {}, {}};
    t.length = double(t.curvature.size()) * GRID;
    double heading = 0, east = 0, north = 0;
    for (double c : t.curvature) {
        t.x.push_back(east);
        t.y.push_back(north);
        heading -= c * GRID;
        east += portable::cos(heading) * GRID;
        north += portable::sin(heading) * GRID;
    }
    return t;
}

namespace {

constexpr double EARTH_RADIUS = 6371000.0;
constexpr double ORIGIN_LAT = 45.5, ORIGIN_LON = 9.25; // degrees: the start line

std::vector<Channel> session_channels(bool gps) {
    std::vector<Channel> c = {{"Time", "s", 3},         {"Distance", "m", 1},
                              {"Engine RPM", "rpm", 0}, {"Speed", "km/h", 1},
                              {"Lateral Acc", "g", 3},  {"Longitudinal Acc", "g", 3},
                              {"Water Temp", "C", 1}};
    if (gps) {
        c.push_back({"GPS Latitude", "deg", 8});
        c.push_back({"GPS Longitude", "deg", 8});
    }
    return c;
}

// Seconds after the session's start at which the car passes a distance.
double time_at_distance(const Run& run, double distance) {
    double cell = (distance - run.start) / GRID;
    auto i = std::size_t(cell);
    if (i + 1 >= run.time.size()) return STANDING_START + run.time.back();
    double f = cell - double(i);
    return STANDING_START + run.time[i] + (run.time[i + 1] - run.time[i]) * f;
}

// Latitude and longitude of a point on the lap, a distance past the line.
void position(const Track& track, double s, double& lat, double& lon) {
    double cell = s / GRID;
    auto i = std::size_t(cell) % track.x.size(), j = (i + 1) % track.x.size();
    double f = cell - double(std::size_t(cell));
    double east = track.x[i] + (track.x[j] - track.x[i]) * f;
    double north = track.y[i] + (track.y[j] - track.y[i]) * f;
    constexpr double degrees = 180 / std::numbers::pi / EARTH_RADIUS;
    lat = ORIGIN_LAT + north * degrees;
    lon = ORIGIN_LON + east * degrees / portable::cos(ORIGIN_LAT * std::numbers::pi / 180);
}

// A gate at point i of the track: the ends of a line 20 m across it, and its
// centre with a point 30 m back along the track.
std::array<std::vector<double>, 2> gate_at(const Track& track, std::size_t i) {
    constexpr double HALF_WIDTH = 10, BACK = 30;
    constexpr double degrees = 180 / std::numbers::pi / EARTH_RADIUS;
    const double east_degrees = degrees / portable::cos(ORIGIN_LAT * std::numbers::pi / 180);
    std::size_t j = (i + 1) % track.x.size();
    double ux = track.x[j] - track.x[i], uy = track.y[j] - track.y[i];
    double length = std::sqrt(ux * ux + uy * uy);
    ux /= length, uy /= length;
    auto at = [&](double east, double north) {
        return std::vector<double>{ORIGIN_LAT + (track.y[i] + north) * degrees,
                                   ORIGIN_LON + (track.x[i] + east) * east_degrees};
    };
    std::vector<double> left = at(-uy * HALF_WIDTH, ux * HALF_WIDTH);
    std::vector<double> right = at(uy * HALF_WIDTH, -ux * HALF_WIDTH);
    std::vector<double> centre = at(0, 0), back = at(-ux * BACK, -uy * BACK);
    return {std::vector<double>{left[0], left[1], right[0], right[1]},
            std::vector<double>{centre[0], centre[1], back[0], back[1]}};
}

// The start line, and split lines at a third and two thirds of the lap.
void timing_gates(const Track& track, Recording& rec) {
    auto start = gate_at(track, 0);
    rec.start_gate = start[0];
    rec.start_gate_along = start[1];
    for (std::size_t third : {1, 2})
        rec.split_gates.push_back(gate_at(track, track.x.size() * third / 3)[0]);
}

} // namespace

Recording drive_session(const SessionPlan& plan) {
    Random rng{plan.seed};
    Track track = make_track();
    std::vector<LapStyle> styles = lap_styles(plan, rng, track.curvature.size());
    Run run = plan_speeds(track, styles, plan.flying_laps);

    Recording rec;
    rec.sample_rate = plan.sample_rate;
    rec.channels = session_channels(plan.gps);
    rec.lap_starts = {0};
    rec.lap_numbers = {1};
    if (plan.gps) timing_gates(track, rec);
    // Beacon crossings: every line crossing on track; the in-lap crosses in the
    // pit lane, where the beacon is not seen.
    std::vector<double> beacons;
    for (int k = 1; k <= plan.flying_laps + 1; ++k)
        if (k != plan.missed_beacon_after + 1 || plan.missed_beacon_after == 0)
            beacons.push_back(k * track.length);

    double dt = 1.0 / plan.sample_rate;
    double moving = run.time.back();
    long total = std::lround((STANDING_START + moving + STANDING_END) * plan.sample_rate);
    rec.values.reserve(std::size_t(total) * rec.channels.size());
    std::size_t next_beacon = 0;
    double logged_distance = 0, water = 71.0, wheel_scale = 1.008;
    Engine engine;
    for (long j = 0; j < total; ++j) {
        State st = state_at(run, double(j) * dt - STANDING_START);
        if (next_beacon < beacons.size() && st.distance >= beacons[next_beacon]) {
            rec.beacon_times.push_back(time_at_distance(run, beacons[next_beacon]));
            ++next_beacon;
            rec.lap_starts.push_back(std::size_t(j));
            rec.lap_numbers.push_back(int(rec.lap_starts.size()));
        }
        double s = std::fmod(st.distance, track.length);
        double k = track.curvature[std::size_t(s / GRID) % track.curvature.size()];
        double kmh = st.speed * 3.6;
        bool stopped = st.speed < 0.05;
        rec.values.push_back(double(j) * dt);
        rec.values.push_back(logged_distance);
        logged_distance += st.speed * wheel_scale * dt;
        double speed_kmh = stopped ? 0.0 : std::max(0.0, kmh + 0.3 * rng.normal());
        double lat_g = st.speed * st.speed * k / G + 0.012 + 0.035 * rng.normal();
        double long_g = st.accel / G - 0.01 + 0.03 * rng.normal();
        rec.values.push_back(engine.rpm(kmh) + 25 * rng.normal());
        rec.values.push_back(speed_kmh);
        rec.values.push_back(lat_g);
        rec.values.push_back(long_g);
        // Water warms towards its running temperature, faster under load.
        double target = stopped ? water + 2.0 : 86.0 + 3.0 * std::min(1.0, kmh / 160.0);
        water += (target - water) * dt / (stopped ? 60.0 : 90.0);
        rec.values.push_back(water + 0.08 * rng.normal());
        if (plan.gps) {
            double lat, lon;
            position(track, s, lat, lon);
            rec.values.push_back(lat);
            rec.values.push_back(lon);
        }
    }
    return rec;
}

} // namespace lxgen
