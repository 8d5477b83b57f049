// lx compare: the best laps of two sessions of one track, B against A, over
// A's corners and straights and at A's sector cuts.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <cmath>

#include "analysed.h"
#include "commands.h"
#include "compare_page.h"

namespace lxtool {

namespace {

constexpr double START_LINE_SLACK = 50.0; // m: start lines further apart are worth a word

// Sessions overlaid on one page at most: A and three against it.
constexpr std::size_t MOST_SESSIONS = 4;

struct CompareOptions {
    std::vector<std::string> files; // A, B and up to two more
    std::string output;
    double threshold = LX_SAME_TRACK_THRESHOLD;
    int lap_a = 0, lap_b = 0; // lap numbers; 0: the fastest full lap
    bool json = false;
    CornerFlags flags;
    MathOptions math;
};

// B's lap of --lap-b, which must be full; else its fastest full lap.
int lap_of_b(const Session& b, const lx_analysis_info& info, int number) {
    if (number == 0) return info.fastest_lap;
    int lap = lap_index(b, number, "--lap-b");
    int lap_class = lap_info(b, lap).lap_class;
    if (lap_class != LX_LAP_FULL)
        refuse("--lap-b: lap " + std::to_string(number) + " of " + b.source + " is " +
               class_name(lap_class) + ", not a full lap");
    return lap;
}

// A and B analysed, B's lap against A's (by default both fastest full laps).
Compared compare(const Session& a, const Session& b, const CompareOptions& o) {
    AnalysisRequest own;
    own.math = o.math;
    own.corners = o.flags.options();
    Compared c;
    c.a = &a;
    c.b = &b;
    if (o.lap_a) lap_index(a, o.lap_a, "--lap-a");
    AnalysisRequest own_a = own;
    own_a.ref_lap = o.lap_a;
    c.a_info = analyse(a, own_a).info;
    analyse(b, own);
    if (lx_same_track(a.handle(), b.handle(), o.threshold, &own.corners, &c.match) < 0)
        refuse(library_message());
    if (!c.match.same) refuse("the tracks differ: " + std::string(c.match.why));
    AnalysisRequest against_a = own_a;
    against_a.reference = &a;
    c.b_info = analyse(b, against_a).info;
    c.lap_a = c.a_info.ref_lap;
    c.lap_b = lap_of_b(b, c.b_info, o.lap_b);
    c.a_stretches = lap_stretches(a, c.lap_a);
    c.b_stretches = lap_stretches(b, c.lap_b);
    c.a_sectors = sector_times(a, c.lap_a);
    c.b_sectors = sector_times(b, c.lap_b);
    return c;
}

std::string stretch_name(const lx_stretch& s) {
    return s.corner ? "corner " + std::to_string(s.corner) : "straight";
}

void print_table(const Compared& c) {
    const lx_track_match& m = c.match;
    print_channel_lines(*c.a, c.a_info);
    std::fprintf(out, "Same track: best laps %.1f m and %.1f m, curvature error %.2f\n", m.length_a,
                 m.length_b, m.match);
    lx_lap_info la = lap_info(*c.a, c.lap_a), lb = lap_info(*c.b, c.lap_b);
    std::fprintf(out, "  A: lap %s of %s, %s\n  B: lap %s of %s, %s (B-A %s s)\n",
                 lap_name(la).c_str(), c.a->source.c_str(), laptime_text(la.laptime).c_str(),
                 lap_name(lb).c_str(), c.b->source.c_str(), laptime_text(lb.laptime).c_str(),
                 signed_seconds(lb.laptime - la.laptime).c_str());
    std::fprintf(out, "B against A over A's corners and the straights before them (B-A: negative "
                      "where B gained):\n");
    row("  %-12s %8s %8s %11s %11s %9s %11s", "stretch", "from m", "to m", "A min km/h",
        "B min km/h", "B-A s", "B-A sum s");
    double total = 0;
    for (std::size_t i = 0; i < c.b_stretches.size() && i < c.a_stretches.size(); ++i) {
        const lx_stretch& sb = c.b_stretches[i];
        total += sb.gain;
        row("  %-12s %8.1f %8.1f %11.1f %11.1f %9s %11s", stretch_name(sb).c_str(), sb.start,
            sb.end, c.a_stretches[i].min_speed * KMH, sb.min_speed * KMH,
            signed_seconds(sb.gain).c_str(), signed_seconds(total).c_str());
    }
    std::fprintf(out,
                 "Sectors at A's cuts (B's carried by where A's start line lies on B's lap):\n");
    row("  %-8s %9s %9s %9s", "sector", "A s", "B s", "B-A s");
    for (std::size_t k = 0; k < c.a_sectors.size() && k < c.b_sectors.size(); ++k)
        row("  %-8zu %9.3f %9.3f %9s", k + 1, c.a_sectors[k], c.b_sectors[k],
            signed_seconds(c.b_sectors[k] - c.a_sectors[k]).c_str());
}

void side_json(Json& j, const char* key, const Session& s, int lap) {
    lx_lap_info l = lap_info(s, lap);
    j.begin_object(key).text("file", s.source).integer("lap", l.number);
    j.integer("logger_lap", l.logger_lap).number("time", l.laptime, 3);
    j.number("length", l.length, 1).end_object();
}

void print_json(const Compared& c) {
    const lx_track_match& m = c.match;
    Json j;
    j.begin_object().integer("schema", 1);
    j.begin_object("track").number("length_a", m.length_a, 1).number("length_b", m.length_b, 1);
    j.number("curvature_error", m.match, 2).number("offset", m.offset, 1).end_object();
    side_json(j, "a", *c.a, c.lap_a);
    side_json(j, "b", *c.b, c.lap_b);
    j.number("gap", lap_info(*c.b, c.lap_b).laptime - lap_info(*c.a, c.lap_a).laptime, 3);
    j.begin_array("stretches");
    for (std::size_t i = 0; i < c.b_stretches.size() && i < c.a_stretches.size(); ++i) {
        const lx_stretch& sb = c.b_stretches[i];
        j.begin_object().text("kind", sb.corner ? "corner" : "straight");
        if (sb.corner) j.integer("corner", sb.corner);
        j.number("start", sb.start, 1).number("end", sb.end, 1);
        j.number("a_min_kmh", c.a_stretches[i].min_speed * KMH, 1);
        j.number("b_min_kmh", sb.min_speed * KMH, 1);
        j.number("a_time", c.a_stretches[i].time, 3).number("b_time", sb.time, 3);
        j.number("gain", sb.gain, 3).end_object();
    }
    j.end_array().begin_object("sectors").begin_array("cuts");
    for (int k = 0; k < c.a_info.ncuts; ++k) j.number(nullptr, c.a_info.cuts[k], 1);
    j.end_array().begin_array("a");
    for (double t : c.a_sectors) j.number(nullptr, t, 3);
    j.end_array().begin_array("b");
    for (double t : c.b_sectors) j.number(nullptr, t, 3);
    j.end_array().end_object().end_object();
    std::fputs(j.str().c_str(), out);
}

// Each session after A against A; with more than two, one of another track
// or without a full lap is left out in one line, and at least one must stay.
std::vector<Compared> compare_all(const std::vector<Session>& sessions, const CompareOptions& o) {
    std::vector<Compared> pairs;
    for (std::size_t k = 1; k < sessions.size(); ++k) {
        if (sessions.size() == 2) return {compare(sessions[0], sessions[1], o)};
        try {
            pairs.push_back(compare(sessions[0], sessions[k], o));
        } catch (const Failure& f) {
            warn("left out " + sessions[k].source + ": " + f.message);
        }
    }
    if (pairs.empty()) refuse("fewer than two sessions remain to compare");
    return pairs;
}

void run_compare(const CompareOptions& o) {
    std::vector<Session> sessions;
    sessions.reserve(o.files.size()); // the pairs point into it
    for (const std::string& file : o.files) sessions.push_back(Session::open(file));
    std::vector<Compared> pairs = compare_all(sessions, o);
    for (const Compared& c : pairs) {
        double shift = std::min(c.match.offset, c.match.length_b - c.match.offset);
        if (shift > START_LINE_SLACK)
            warn("the start lines lie " + std::to_string(std::lround(shift)) +
                 " m apart: corners and sectors are carried from each session's own line");
        if (&c != &pairs.front() && !o.json) std::fprintf(out, "\n%s as B:\n", c.b->source.c_str());
        if (o.json)
            print_json(c);
        else
            print_table(c);
    }
    if (!o.output.empty()) {
        std::string path = write_compare_page(pairs, o.output);
        if (!o.json) std::fprintf(out, "%s\n", path.c_str());
    }
}

} // namespace

Command add_compare(CLI::App& app) {
    static CompareOptions o;
    CLI::App* c = app.add_subcommand(
        "compare",
        "Compare two laps (by default the best) of two sessions of the same track (another day, "
        "driver or logger) corner by corner and sector by sector; refuses two "
        "different tracks, saying why");
    c->add_option("A B [C [D]]", o.files,
                  "session files: A the reference, B and up to two more set against it; with "
                  "more than two, one of another track or without a full lap is left out "
                  "(--json: one document per line)")
        ->required()
        ->expected(2, int(MOST_SESSIONS));
    c->add_option("--threshold", o.threshold, "curvature error below which the tracks are the same")
        ->check(within(0, 100))
        ->capture_default_str();
    c->add_option("-o,--output", o.output,
                  "also write compare.html into this folder: the laps overlaid on A's map "
                  "and the speed, time difference and corner charts");
    c->add_option("--lap-a", o.lap_a,
                  "A's lap, a full one (from 1, as lx laps lists them; default: the fastest)");
    c->add_option("--lap-b", o.lap_b,
                  "B's lap, a full one (from 1, as lx laps lists them; default: the fastest)");
    add_json_option(c, o.json);
    add_corner_options(c, o.flags);
    add_math_options(c, o.math);
    return {c, [] { run_compare(o); }};
}

} // namespace lxtool
