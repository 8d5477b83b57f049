// Every generated format opened and analysed through the data API, written as
// a summary (facts, notes, per-channel sums, laps, corners, sectors) and
// compared with the summary recorded in golden/: any change to what a reader
// or the analysis gives shows as the line that moved. LX_UPDATE_GOLDEN=1
// records them anew after a change meant to move them.
#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

#include "gen.h"
#include "lx_data.h"
#include "recording.h"
#include "support.h"

using namespace lxtest;

namespace {

// A generated file under the name its summary goes by.
struct GeneratedFile {
    const char* name;
    std::string content;
    const char* suffix;
};

constexpr double RELATIVE = 1e-9; // printing and summing orders, nothing more

class Summary {
  public:
    template <typename... Values> void line(const char* key, Values... values) {
        out_ << key;
        ((out_ << ' ' << text(values)), ...);
        out_ << '\n';
    }
    std::string str() const { return out_.str(); }

  private:
    static std::string text(double v) {
        char buf[40];
        std::snprintf(buf, sizeof buf, "%.15g", v);
        return buf;
    }
    static std::string text(int v) { return std::to_string(v); }
    static std::string text(std::string v) {
        for (char& c : v)
            if (c == '\n' || c == ' ') c = '|';
        return v.empty() ? "-" : v;
    }
    static std::string text(const char* v) { return text(std::string(v)); }
    std::ostringstream out_;
};

void channels(Summary& sum, int h, const lx_session_info& info) {
    for (int c = 0; c < info.channels; ++c) {
        lx_channel_info ci;
        ASSERT_EQ(lx_channel_info_get(h, c, &ci), LX_OK);
        double total = 0, weighted = 0, low = INFINITY, high = -INFINITY;
        long k = 0;
        for (int l = 0; l < info.laps; ++l) {
            std::vector<float> v(static_cast<std::size_t>(lx_lap_samples(h, l, c, nullptr, 0)));
            lx_lap_samples(h, l, c, v.data(), static_cast<int>(v.size()));
            for (float x : v) {
                total += x, weighted += double(x) * double(++k);
                low = std::min(low, double(x)), high = std::max(high, double(x));
            }
        }
        sum.line("channel", c, ci.name, ci.title, ci.unit, ci.derived, total, weighted, low, high);
    }
}

void facts(Summary& sum, int h) {
    lx_session_info info;
    ASSERT_EQ(lx_session_info_get(h, &info), LX_OK);
    sum.line("session", info.format, info.venue, info.vehicle, info.driver, info.date, info.time,
             info.logger, info.sample_rate, info.stated_rate, info.start_time, info.laps);
    char day[16] = "";
    lx_session_day(h, day, sizeof day);
    double lat = 0, lon = 0;
    int located = lx_session_origin(h, &lat, &lon);
    sum.line("day-origin", day, located, lat, lon);
    char note[LX_TEXT_FIELD];
    for (int n = 0, count = lx_session_note(h, 0, nullptr, 0); n < count; ++n)
        if (lx_session_note(h, n, note, sizeof note) >= 0) sum.line("note", note);
    channels(sum, h, info);
}

// Sums of a curve's points, and of each weighted by its place.
template <typename Fill> void curve(Summary& sum, const char* key, int lap, Fill fill) {
    int n = fill(nullptr, nullptr, 0);
    if (n < 0) return sum.line(key, lap, n);
    std::vector<double> x(static_cast<std::size_t>(n)), y(x.size());
    fill(x.data(), y.data(), n);
    double sx = 0, sy = 0, wx = 0, wy = 0;
    for (std::size_t k = 0; k < x.size(); ++k)
        sx += x[k], sy += y[k], wx += x[k] * double(k + 1), wy += y[k] * double(k + 1);
    sum.line(key, lap, n, sx, sy, wx, wy);
}

// Pixels as the front-end's calls draw them, summed as a curve's points.
template <typename Fill> void pixels(Summary& sum, const char* key, int lap, Fill fill) {
    constexpr int MOST = 20000;
    std::vector<int> x(MOST), y(MOST);
    int n = fill(x.data(), y.data(), MOST);
    long long sx = 0, sy = 0, wx = 0, wy = 0;
    for (int k = 0; k < n; ++k)
        sx += x[k], sy += y[k], wx += (k + 1LL) * x[k], wy += (k + 1LL) * y[k];
    sum.line(key, lap, n, std::to_string(sx), std::to_string(sy), std::to_string(wx),
             std::to_string(wy));
}

// What the views draw of a lap: time difference, stretches, maps.
void lap_views(Summary& sum, int h, int l, const lx_analysis_info& a) {
    curve(sum, "time-diff", l,
          [&](double* x, double* y, int n) { return lx_analysis_time_diff(h, l, x, y, n); });
    lx_stretch st[128];
    int n = lx_analysis_stretches(h, l, st, 128);
    for (int k = 0; k < std::min(n, 128); ++k)
        sum.line("stretch", l, st[k].corner, st[k].before, st[k].start, st[k].end, st[k].time,
                 st[k].gain, st[k].entry_speed, st[k].min_speed, st[k].exit_speed);
    double error = 0;
    curve(sum, "gps-track", l, [&](double* x, double* y, int n) {
        return lx_analysis_gps_track(h, l, x, y, n, &error);
    });
    sum.line("gps-error", l, error);
    curve(sum, "map-laid", l, [&](double* x, double* y, int n) {
        return lx_analysis_map_laid(h, l, h, a.ref_lap, x, y, n);
    });
    curve(sum, "map-points", l,
          [&](double* x, double* y, int n) { return lx_map_points(h, l, 1.0f, 0.0f, x, y, n); });
    double turn = 0, gap = 0;
    lx_lap_closure(h, l, a.lateral_channel, &turn, &gap);
    sum.line("closure", l, turn, gap);
    pixels(sum, "map-pixels", l, [&](int* x, int* y, int n) {
        return lx_map_pixels(h, x, y, n, l, 800, 600, 10, 1.0f, 0.0f);
    });
    pixels(sum, "chart-pixels", l, [&](int* x, int* y, int n) {
        return lx_chart_pixels(h, l, a.speed_channel, 80.0f, 0.0f, n, 800, 300, 20, 300, 0.0f, x,
                               y);
    });
}

void analysis(Summary& sum, int h) {
    if (lx_analyse(h, nullptr) != LX_OK) return sum.line("analysis-refused", lx_last_error());
    lx_analysis_info a;
    ASSERT_EQ(lx_analysis_info_get(h, &a), LX_OK);
    sum.line("analysis", a.speed_channel, a.lateral_channel, a.longitudinal_channel, a.speed_units,
             a.choice, a.warning, a.ref_lap, a.fastest_time, a.median_time, a.corners,
             a.theoretical_best, a.optimal_lap);
    for (int k = 0; k < a.ncuts; ++k) sum.line("sector-cut", a.cuts[k]);
    int roles[LX_ROLES];
    lx_analysis_roles(h, roles);
    sum.line("roles", roles[0], roles[1], roles[2], roles[3], roles[4]);
    lx_corner_summary corners[64];
    int n = lx_analysis_corner_summary(h, corners, 64);
    for (int k = 0; k < std::min(n, 64); ++k) {
        const lx_corner_summary& c = corners[k];
        sum.line("corner-best", c.corner.number, c.best_entry_speed, c.best_min_speed,
                 c.best_exit_speed, c.best_entry_lap, c.best_min_lap, c.best_exit_lap, c.most_lost,
                 c.lost_lap);
    }
    lx_session_info info;
    lx_session_info_get(h, &info);
    for (int l = 0; l < info.laps; ++l) {
        lx_analysis_lap lap;
        ASSERT_EQ(lx_analysis_lap_get(h, l, &lap), LX_OK);
        const lx_lap_info& i = lap.info;
        sum.line("lap", i.number, i.logger_lap, i.samples, i.lap_class, i.slow, i.logger_time,
                 i.truncated, i.laptime, i.sample_time, i.length, lap.gap);
        double sectors[LX_MAX_CUTS + 1];
        int n = lx_analysis_sector_times(h, l, sectors, LX_MAX_CUTS + 1);
        for (int k = 0; k < n; ++k) sum.line("sector", l, k, sectors[k]);
        if (n > 0) lap_views(sum, h, l, a);
        lx_corner corners[64];
        n = lx_analysis_corners(h, l, corners, 64);
        for (int k = 0; k < std::min(n, 64); ++k) {
            const lx_corner& c = corners[k];
            sum.line("corner", l, c.number, c.direction, c.paired, c.entry, c.apex, c.exit,
                     c.peak_curvature, c.entry_speed, c.min_speed, c.exit_speed, c.time);
        }
    }
}

// Each writer's bytes, by length and hash: the status where it refuses.
void written(Summary& sum, int h) {
    using Writer = int (*)(int, const char*);
    const std::pair<const char*, Writer> writers[] = {{"text", lx_write_text_export},
                                                      {"vbo", lx_write_vbo},
                                                      {"ld", lx_write_ld},
                                                      {"motec-csv", lx_write_motec_csv}};
    for (const auto& [format, write] : writers) {
        std::string path = temp_path(std::string(".") + format);
        int status = write(h, path.c_str());
        std::string bytes = status == LX_OK ? read_file(path) : "";
        std::uint64_t hash = 14695981039346656037ull; // FNV-1a
        for (char c : bytes) hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
        char hex[24];
        std::snprintf(hex, sizeof hex, "#%016llx", static_cast<unsigned long long>(hash));
        sum.line("written", format, status, static_cast<int>(bytes.size()), hex);
        // A folder cannot be written: the message names it, or the session's
        // file, each masked (their names depend on the tests run before).
        int refused = write(h, scratch_dir().c_str());
        std::string message = refused < 0 ? lx_last_error() : "written";
        lx_session_info info;
        lx_session_info_get(h, &info);
        for (const std::string& place : {std::string(info.file), scratch_dir()})
            for (std::size_t at; (at = message.find(place)) != std::string::npos;)
                message.replace(at, place.size(), place == info.file ? "FILE" : "FOLDER");
        sum.line("unwritable", format, refused, message);
    }
}

// The session cut where the reference lap matches, each mode in turn.
void matched(Summary& sum, int h, int ref_lap) {
    for (int mode : {LX_CUT_MATCHES, LX_CUT_SNAP, LX_CUT_BEACON_SHIFT}) {
        lx_match_options o{1, mode, 30.0};
        int cut = lx_cut_session(h, ref_lap, h, &o);
        if (cut < 0) return sum.line("cut-refused", mode, lx_last_error());
        lx_session_info info;
        lx_session_info_get(cut, &info);
        sum.line("cut", mode, info.laps, info.beacon_shift);
        lx_lap_info lap;
        for (int l = 0; l < info.laps && lx_lap_info_get(cut, l, &lap) == LX_OK; ++l)
            sum.line("cut-lap", l, lap.samples, lap.origin_lap, lap.origin_offset, lap.laptime);
        lx_close(cut);
    }
}

std::string summary_of(const std::string& content, const char* suffix,
                       const lx_open_options* options = nullptr) {
    Summary sum;
    int h = lx_open(write_temp_file(content, suffix).c_str(), options);
    if (h < 0) {
        sum.line("refused", h, lx_last_error());
        return sum.str();
    }
    facts(sum, h);
    written(sum, h);
    analysis(sum, h);
    lx_analysis_info a;
    if (options == nullptr && lx_analysis_info_get(h, &a) == LX_OK && a.ref_lap >= 0)
        matched(sum, h, a.ref_lap);
    lx_close(h);
    return sum.str();
}

// Lines equal, numbers within RELATIVE of the recorded ones.
bool same_line(const std::string& got, const std::string& want) {
    std::istringstream a(got), b(want);
    std::string x, y;
    while (a >> x) {
        if (!(b >> y)) return false;
        double u, v;
        auto [ue, uerr] = std::from_chars(x.data(), x.data() + x.size(), u);
        auto [ve, verr] = std::from_chars(y.data(), y.data() + y.size(), v);
        bool numbers = uerr == std::errc() && verr == std::errc() && ue == x.data() + x.size() &&
                       ve == y.data() + y.size();
        if (numbers ? !(std::fabs(u - v) <= RELATIVE * std::max(std::fabs(v), 1.0) ||
                        (std::isnan(u) && std::isnan(v)))
                    : x != y)
            return false;
    }
    return !(b >> y);
}

void expect_golden(const std::string& name, const std::string& actual) {
    std::string golden = std::string(LX_SOURCE_DIR) + "/tests/data/golden/" + name + ".txt";
    if (std::getenv("LX_UPDATE_GOLDEN")) {
        std::ofstream(golden, std::ios::binary) << actual;
        return;
    }
    std::istringstream got(actual), want(read_file(golden));
    std::string g, w;
    for (int n = 1; std::getline(want, w); ++n) {
        ASSERT_TRUE(std::getline(got, g)) << name << ": ends before line " << n << ": " << w;
        ASSERT_TRUE(same_line(g, w)) << name << " line " << n << "\n got: " << g << "\nwant: " << w;
    }
    EXPECT_FALSE(std::getline(got, g)) << name << ": more lines than recorded: " << g;
}

// A VBO file without its [laptiming] section: laps from a proposed line.
std::string without_gates(std::string vbo) {
    std::size_t from = vbo.find("[laptiming]"), to = vbo.find("[column names]");
    return vbo.erase(from, to - from);
}

// A VBO file missing rows of its data: a time gap.
std::string with_gap(std::string vbo, std::size_t first_row, std::size_t rows) {
    std::size_t from = vbo.find("[data]");
    for (std::size_t k = 0; k <= first_row; ++k) from = vbo.find('\n', from) + 1;
    std::size_t to = from;
    for (std::size_t k = 0; k < rows; ++k) to = vbo.find('\n', to) + 1;
    return vbo.erase(from, to - from);
}

// Semicolons between fields and decimal commas, as some locales export.
std::string semicolons(std::string csv) {
    bool quoted = false;
    for (char& c : csv) {
        quoted = quoted != (c == '"');
        if (c == ',' && !quoted)
            c = ';';
        else if (c == '.')
            c = ',';
    }
    return csv;
}

lxgen::Recording driven(bool gps, std::uint64_t seed = 7) {
    lxgen::SessionPlan plan;
    plan.gps = gps, plan.seed = seed, plan.flying_laps = 6;
    return lxgen::drive_session(plan);
}

} // namespace

TEST(Golden, EveryFormatOpenedAndAnalysed) {
#ifdef _WIN32
    GTEST_SKIP() << "the summaries were recorded with the Linux maths library's positions";
#endif
    const lxgen::Recording plain = driven(false), gps = driven(true, 11);
    std::string aim = lxgen::write_aim_csv(gps);
    const GeneratedFile files[] = {
        {"text", lxgen::write_text(plain), ".txt"},
        {"aim", aim, ".csv"},
        {"aim-legacy", lxgen::write_aim_csv(gps, {true, lxgen::MarkerCells::spaces, false}),
         ".csv"},
        {"aim-cut", aim.substr(0, aim.size() - 7), ".csv"},
        {"racechrono", lxgen::write_racechrono_csv(gps), ".csv"},
        {"motec", lxgen::write_motec_csv(gps), ".csv"},
        {"vbo", lxgen::write_vbo(gps), ".vbo"},
        {"vbo-along", lxgen::write_vbo(gps, {true}), ".vbo"},
        {"ld", lxgen::write_ld(gps), ".ld"},
        {"ibt", lxgen::write_ibt(gps), ".ibt"},
    };
    for (const auto& f : files) expect_golden(f.name, summary_of(f.content, f.suffix));
}

TEST(Golden, OptionsLocalesAndCutFiles) {
#ifdef _WIN32
    GTEST_SKIP() << "the summaries were recorded with the Linux maths library's positions";
#endif
    const lxgen::Recording gps = driven(true, 11);
    const std::string vbo = lxgen::write_vbo(gps), ld = lxgen::write_ld(gps);
    const std::string ibt = lxgen::write_ibt(gps);
    char line[128];
    const std::vector<double>& g = gps.start_gate;
    std::snprintf(line, sizeof line, "%.9f,%.9f,%.9f,%.9f", g[0], g[1], g[2], g[3]);
    const struct {
        const char* name;
        std::string content;
        const char* suffix;
        lx_open_options options;
    } files[] = {
        {"racechrono-options",
         lxgen::write_racechrono_csv(gps),
         ".csv",
         {10.0, "speed,lateral_acc", 2, 4, nullptr}},
        {"aim-semicolons", semicolons(lxgen::write_aim_csv(gps)), ".csv", {}},
        {"vbo-proposed", without_gates(vbo), ".vbo", {}},
        {"vbo-gap", with_gap(vbo, 3000, 60), ".vbo", {}},
        {"vbo-start-line", without_gates(vbo), ".vbo", {0, nullptr, 0, 3, line}},
        {"ld-cut", ld.substr(0, ld.size() - 5), ".ld", {0, "Speed,Lateral Acc", 0, 0, nullptr}},
        {"ibt-cut", ibt.substr(0, ibt.size() - 5), ".ibt", {}},
    };
    for (const auto& f : files) expect_golden(f.name, summary_of(f.content, f.suffix, &f.options));
}

namespace {

// What lx_open makes of a file: the refusal, or the session's shape.
std::string outcome(const std::string& content, const char* suffix,
                    const lx_open_options* options = nullptr) {
    std::string path = write_temp_file(content, suffix);
    Summary sum;
    int h = lx_open(path.c_str(), options);
    if (h < 0) {
        std::string message = lx_last_error();
        for (std::size_t at; (at = message.find(path)) != std::string::npos;)
            message.replace(at, path.size(), "FILE");
        sum.line("refused", h, message);
        return sum.str();
    }
    lx_session_info info;
    lx_session_info_get(h, &info);
    int samples = 0, truncated = 0;
    lx_lap_info lap;
    for (int l = 0; l < info.laps && lx_lap_info_get(h, l, &lap) == LX_OK; ++l)
        samples += lap.samples, truncated += lap.truncated;
    std::string notes;
    char note[LX_TEXT_FIELD];
    for (int n = 0, count = lx_session_note(h, 0, nullptr, 0); n < count; ++n)
        if (lx_session_note(h, n, note, sizeof note) >= 0) notes += std::string(note) + ";";
    sum.line("opened", info.laps, samples, truncated, info.file_channels, info.sample_rate, notes);
    lx_close(h);
    return sum.str();
}

template <class T> std::string patched(std::string file, std::size_t at, T value) {
    std::memcpy(file.data() + at, &value, sizeof value);
    return file;
}

// Every 4-byte field of a block set to values that test its bounds.
void sweep_block(std::string& out, const std::string& file, const char* suffix, std::size_t from,
                 std::size_t bytes) {
    const auto size = static_cast<std::uint32_t>(file.size());
    for (std::size_t at = from; at + 4 <= from + bytes && at + 4 <= file.size(); at += 4)
        for (std::uint32_t v : {0u, 1u, 2u, size - 1, size, 0x7fffffffu, 0xffffffffu})
            out += std::to_string(at) + " " + std::to_string(v) + " " +
                   outcome(patched(file, at, v), suffix);
}

// Each of the first lines of a text file dropped, cut in half, or doubled.
void sweep_lines(std::string& out, const std::string& name, const std::string& file,
                 const char* suffix) {
    constexpr std::size_t LINES = 40;
    std::size_t start = 0;
    for (std::size_t k = 0; k < LINES && start < file.size(); ++k) {
        std::size_t end = std::min(file.find('\n', start), file.size() - 1) + 1;
        std::string line = file.substr(start, end - start);
        const std::string variants[] = {file.substr(0, start) + file.substr(end),
                                        file.substr(0, start) + line.substr(0, line.size() / 2) +
                                            "\n" + file.substr(end),
                                        file.substr(0, end) + line + file.substr(end)};
        for (std::size_t v = 0; v < std::size(variants); ++v)
            out += name + " line " + std::to_string(k) + " " + std::to_string(v) + " " +
                   outcome(variants[v], suffix);
        start = end;
    }
}

std::uint32_t field(const std::string& file, std::size_t at) {
    std::uint32_t v;
    std::memcpy(&v, file.data() + at, sizeof v);
    return v;
}

} // namespace

TEST(Golden, DamagedFilesCutAndPatched) {
#ifdef _WIN32
    GTEST_SKIP() << "the summaries were recorded with the Linux maths library's positions";
#endif
    lxgen::SessionPlan plan;
    plan.gps = true, plan.flying_laps = 2, plan.sample_rate = 10, plan.missed_beacon_after = 0;
    const lxgen::Recording r = lxgen::drive_session(plan);
    const GeneratedFile files[] = {
        {"text", lxgen::write_text(r), ".txt"},
        {"aim", lxgen::write_aim_csv(r), ".csv"},
        {"racechrono", lxgen::write_racechrono_csv(r), ".csv"},
        {"motec", lxgen::write_motec_csv(r), ".csv"},
        {"vbo", lxgen::write_vbo(r), ".vbo"},
        {"ld", lxgen::write_ld(r), ".ld"},
        {"ibt", lxgen::write_ibt(r), ".ibt"},
    };
    constexpr std::size_t CUTS = 24;
    std::string out;
    for (const auto& f : files)
        for (std::size_t k = 1; k <= CUTS; ++k) {
            std::size_t size = f.content.size() * k / (CUTS + 1) + k % 3;
            out += std::string(f.name) + " cut " + std::to_string(size) + " " +
                   outcome(f.content.substr(0, size), f.suffix);
        }
    expect_golden("damaged-cut", out);
    out.clear();
    for (std::size_t k = 0; k < 5; ++k)
        sweep_lines(out, files[k].name, files[k].content, files[k].suffix);
    expect_golden("damaged-lines", out);
    out.clear();
    out.clear();
    for (const auto& f : files) // lap windows and rates at and past their bounds
        for (int first = 0; first <= 5; ++first)
            for (int last : {0, 1, 3, 5}) {
                double rate = first == 0 ? last * 7.5 : 0.0;
                lx_open_options o{rate, last == 1 ? "Speed,nothing" : nullptr, first, last,
                                  nullptr};
                out += std::string(f.name) + " laps " + std::to_string(first) + "-" +
                       std::to_string(last) + " " + outcome(f.content, f.suffix, &o);
            }
    expect_golden("options", out);
    out.clear();
    const std::string& ld = files[5].content;
    sweep_block(out, ld, ".ld", 0, 0x20);
    sweep_block(out, ld, ".ld", field(ld, 8), 0x24); // the first channel's block
    const std::string& ibt = files[6].content;
    sweep_block(out, ibt, ".ibt", 0, 144);
    sweep_block(out, ibt, ".ibt", field(ibt, 28), 16); // the first variable's header
    expect_golden("damaged-patched", out);
}
