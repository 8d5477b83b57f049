// lx sectors: sector times of every full lap, the theoretical best and the
// optimal lap.
#include <CLI/CLI.hpp>

#include "analysed.h"
#include "commands.h"

namespace lxtool {

namespace {

struct SectorsOptions {
    std::string file;
    int ref_lap = 0;
    std::vector<double> cuts;
    double tolerance_kmh = LX_OPTIMAL_TOLERANCE * KMH;
    bool json = false;
    CornerFlags flags;
    MathOptions math;
};

std::string lap_number(const Session& s, int lap) {
    return std::to_string(lap_info(s, lap).number);
}

void print_table(const Session& s, const Analysed& a, const SectorTable& t,
                 const SectorsOptions& o) {
    print_channel_lines(s, a.info);
    int w = lap_width(s);
    std::fprintf(out, "Sectors cut at");
    for (double c : t.cuts) std::fprintf(out, " %.1f", c);
    if (t.cuts.empty()) std::fprintf(out, " nothing (one sector)");
    std::fprintf(out, " m of lap %s%s, carried to each lap in proportion to its length\n",
                 lap_number(s, a.info.ref_lap).c_str(), cuts_from_words(a.info.cuts_from).c_str());
    std::fprintf(out, "  %*s", w, "lap");
    for (std::size_t k = 0; k <= t.cuts.size(); ++k) std::fprintf(out, " %8s%zu s ", "S", k + 1);
    std::fprintf(out, "  %-10s  (* best sector)\n", "time");
    for (const SectorRow& r : t.rows) {
        std::fprintf(out, "  %*s", w, lap_name(lap_info(s, r.lap)).c_str());
        for (std::size_t k = 0; k < r.times.size(); ++k)
            std::fprintf(out, " %11.3f%s", r.times[k],
                         t.theoretical.pieces[k].lap == r.lap ? "*" : " ");
        std::fprintf(out, "  %s\n", laptime_text(a.laps[std::size_t(r.lap)].info.laptime).c_str());
    }
    std::fprintf(out, "Theoretical best: %s (best sectors summed)\n",
                 laptime_text(t.theoretical.time).c_str());
    std::fprintf(out, "Optimal lap:      %s (%s; joined where speeds differ by < %.1f km/h)\n",
                 laptime_text(t.optimal.time).c_str(), pieces_text(s, t.optimal.pieces).c_str(),
                 o.tolerance_kmh);
    std::fprintf(out, "Fastest lap:      %s (lap %s)\n", laptime_text(a.info.fastest_time).c_str(),
                 lap_number(s, a.info.fastest_lap).c_str());
    if (a.info.ref_lap != a.info.fastest_lap)
        std::fprintf(out, "Reference lap:    %s (lap %s)\n", laptime_text(a.info.ref_time).c_str(),
                     lap_number(s, a.info.ref_lap).c_str());
}

void pieces_json(Json& j, const Session& s, const char* key, const Best& best) {
    j.begin_array(key);
    for (const lx_piece& p : best.pieces) {
        j.begin_object().number("start", p.start, 1).number("end", p.end, 1);
        j.number("time", p.time, 3).integer("lap", lap_info(s, p.lap).number).end_object();
    }
    j.end_array();
}

void print_json(const Session& s, const Analysed& a, const SectorTable& t) {
    Json j;
    j.begin_object().integer("schema", 1).text("file", s.source);
    j.begin_object("reference").integer("lap", lap_info(s, a.info.ref_lap).number);
    j.number("time", a.info.ref_time, 3).end_object();
    j.begin_object("sectors").begin_array("cuts");
    for (double c : t.cuts) j.number(nullptr, c, 1);
    j.end_array().boolean("default_cuts", a.info.default_cuts);
    j.text("cuts_from", cuts_from_name(a.info.cuts_from));
    j.number("theoretical", t.theoretical.time, 3).number("optimal", t.optimal.time, 3);
    j.number("fastest", a.info.fastest_time, 3)
        .integer("fastest_lap", lap_info(s, a.info.fastest_lap).number);
    pieces_json(j, s, "theoretical_pieces", t.theoretical);
    pieces_json(j, s, "optimal_pieces", t.optimal);
    j.end_object().begin_array("laps");
    for (const SectorRow& r : t.rows) {
        j.begin_object();
        lap_json(j, a.laps[std::size_t(r.lap)]);
        j.begin_array("sectors");
        for (double time : r.times) j.number(nullptr, time, 3);
        j.end_array().end_object();
    }
    j.end_array().end_object();
    std::fputs(j.str().c_str(), out);
}

void run_sectors(const SectorsOptions& o) {
    Session s = Session::open(o.file);
    AnalysisRequest request;
    request.math = o.math;
    request.ref_lap = o.ref_lap;
    request.cuts = o.cuts;
    request.tolerance = o.tolerance_kmh / KMH;
    request.corners = o.flags.options();
    Analysed a = analyse(s, request);
    if (!a.has_reference()) refuse(s.source + ": no full lap to cut into sectors");
    SectorTable t = sector_table(s, a);
    if (o.json)
        print_json(s, a, t);
    else
        print_table(s, a, t, o);
}

} // namespace

Command add_sectors(CLI::App& app) {
    static SectorsOptions o;
    CLI::App* c = app.add_subcommand(
        "sectors", "Sector times of every full lap, the theoretical best (best sectors summed) "
                   "and the optimal lap (sectors actually driven, joined on straights)");
    c->add_option("FILE", o.file, "session file")->required();
    add_sectors_option(c, o.cuts);
    add_ref_lap_option(c, o.ref_lap, false);
    c->add_option("--tolerance", o.tolerance_kmh,
                  "km/h by which two laps' speeds may differ where they are joined")
        ->check(within(0, 1000))
        ->capture_default_str();
    add_json_option(c, o.json);
    add_corner_options(c, o.flags);
    add_math_options(c, o.math);
    return {c, [] { run_sectors(o); }};
}

} // namespace lxtool
