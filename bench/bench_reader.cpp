// Reading a 50 MB export (40 channels at 100 samples per second) into a
// Session, against the plain fgets + sscanf reader; opening and freeing a
// small session many times; session math and time difference on the big one.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "aim/aim.h"
#include "gen.h"
#include "lx.h"
#include "reference_reader.h"

namespace {

constexpr int CHANNELS = 40; // the index column, then the generator's channels
constexpr double RATE = 100; // samples per second
constexpr int BIG_LAPS = 28; // about 50 MB

struct ExportFile {
    std::string path;
    long bytes = 0;
    long rows = 0;
};

std::filesystem::path beside_program(const std::string& name) {
    return std::filesystem::read_symlink("/proc/self/exe").parent_path() / name;
}

// A generated session of this many timed laps at RATE, written in a child
// process so that the generator's memory stays out of this program's peak.
ExportFile write_export(const std::string& name, int laps, double rate) {
    ExportFile file{beside_program(name).string()};
    pid_t child = fork();
    if (child == 0) {
        lxgen::SessionPlan plan;
        plan.flying_laps = laps;
        plan.sample_rate = rate;
        plan.gps = true;
        lxgen::Recording session = lxgen::drive_session(plan);
        session.widen(CHANNELS - 1);
        lxgen::TextLayout layout;
        layout.index_title = "Idx";
        layout.lap_time_trailer = false;
        std::string text = lxgen::write_text(session, layout);
        std::FILE* out = std::fopen(file.path.c_str(), "wb");
        bool written = out && std::fwrite(text.data(), 1, text.size(), out) == text.size();
        _exit(out && std::fclose(out) == 0 && written ? 0 : 1);
    }
    int status = 1;
    waitpid(child, &status, 0);
    if (status != 0) return file;
    file.bytes = static_cast<long>(std::filesystem::file_size(file.path));
    std::FILE* in = std::fopen(file.path.c_str(), "rb");
    long lines = 0;
    for (int c; (c = std::fgetc(in)) != EOF;) lines += c == '\n';
    std::fclose(in);
    file.rows = lines - 2; // the title row and the end row
    return file;
}

const ExportFile& big_export() {
    static ExportFile file = write_export("lx-bench-50mb.txt", BIG_LAPS, RATE);
    return file;
}

double peak_rss_mb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024.0; // kilobytes on Linux
}

void read_export(benchmark::State& state) {
    const ExportFile& file = big_export();
    for (auto _ : state) {
        lx::Session* s = lx::read_aim_export(file.path.c_str(), {0, 1, lx::STANDARD_OUTPUT});
        if (s == nullptr) state.SkipWithError("the export was refused");
        lx::free_session(s);
    }
    double arrays_mb = file.rows * CHANNELS * sizeof(float) / 1048576.0;
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * file.bytes);
    state.counters["peak_rss_MB"] = peak_rss_mb();
    state.counters["budget_MB"] = arrays_mb + file.bytes / 1048576.0 + 16.0;
}
// First, so that the peak memory it reports is its own.
BENCHMARK(read_export)->Unit(benchmark::kMillisecond)->MinTime(3.0);

// Whether the reader gave the reference's floats, bit for bit.
bool same_values(const lx::Session* s, const std::vector<lxref::ReferenceLap>& laps) {
    if (s == nullptr || s->nlaps != static_cast<int>(laps.size())) return false;
    for (int l = 0; l < s->nlaps; ++l)
        for (int c = 0; c < CHANNELS; ++c)
            if (s->laps[l].npoints != laps[l].rows ||
                std::memcmp(s->laps[l].raw[c], laps[l].values[c].data(), laps[l].rows * 4) != 0)
                return false;
    return true;
}

void reference_reader(benchmark::State& state) {
    const ExportFile& file = big_export();
    std::vector<lxref::ReferenceLap> laps;
    for (auto _ : state) {
        laps.clear();
        lxref::reference_read(file.path.c_str(), CHANNELS, laps);
        benchmark::DoNotOptimize(laps.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * file.bytes);
    lx::Session* s = lx::read_aim_export(file.path.c_str(), {0, 1, lx::STANDARD_OUTPUT});
    if (!same_values(s, laps)) state.SkipWithError("the reader and the reference disagree");
    lx::free_session(s);
}
BENCHMARK(reference_reader)->Unit(benchmark::kMillisecond)->Iterations(3);

// The library prints a line for every freed session: keep it off the report.
struct SilencedStdout {
    int saved;
    SilencedStdout() {
        std::fflush(stdout);
        saved = dup(1);
        std::FILE* null = std::fopen("/dev/null", "w");
        dup2(fileno(null), 1);
        std::fclose(null);
    }
    ~SilencedStdout() {
        std::fflush(stdout);
        dup2(saved, 1);
        close(saved);
    }
};

void open_and_free_10000(benchmark::State& state) {
    static ExportFile file = write_export("lx-bench-small.txt", 1, 1.0); // about 200 rows
    for (auto _ : state) {
        SilencedStdout quiet;
        for (int i = 0; i < 10000; ++i) lx_free_session(lx_open_aim_xls(file.path.c_str()));
    }
}
BENCHMARK(open_and_free_10000)->Unit(benchmark::kMillisecond);

void session_math_and_time_diff(benchmark::State& state) {
    int h = lx_open_aim_xls(big_export().path.c_str());
    if (h == 0 || !lx_session_setup(h) || !lx_analysis_setup(h)) {
        state.SkipWithError("setup failed");
        return;
    }
    for (auto _ : state) {
        // Channel 4 as speed in km/h and 5 as lateral g; longitudinal g from speed.
        if (!lx_compute_session_math(h, 4, 5, LX_SPEED_KMH, 0, 0, 0) ||
            !lx_calc_time_diff(h, 1, h, 0)) {
            state.SkipWithError("session math or time difference refused the session");
            break;
        }
    }
    SilencedStdout quiet;
    lx_free_session(h);
}
BENCHMARK(session_math_and_time_diff)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    for (const char* name : {"lx-bench-50mb.txt", "lx-bench-small.txt"})
        std::filesystem::remove(beside_program(name));
}
