// Reading a 50 MB export (40 channels at 100 samples per second) into a
// Session, against the plain fgets + sscanf reader; opening and freeing a
// small session many times; session math and time difference on the big one.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

#include "aim/aim.h"
#include "lx.h"
#include "reference_reader.h"

namespace {

constexpr int CHANNELS = 40;
constexpr int RATE = 100;         // samples per second
constexpr int LAP_SAMPLES = 9000; // a 90-second lap
constexpr long BIG_BYTES = 50'000'000;

struct ExportFile {
    std::string path;
    long bytes = 0;
    long rows = 0;
};

// Channel k's value at sample i: smooth signals in the number formats an
// export carries (GPS with six decimals, temperatures without any, ...).
int format_value(char* out, int k, long i, int lap_row) {
    double t = static_cast<double>(i) / RATE;
    switch (k) {
    case 1:
        return std::sprintf(out, "\t%.3f", static_cast<double>(lap_row) / RATE);
    case 2:
        return std::sprintf(out, "\t%.2f", lap_row * 0.42);
    case 3:
        return std::sprintf(out, "\t%.6f", 41.7 + 0.004 * std::sin(t * 0.07));
    case 4:
        return std::sprintf(out, "\t%.6f", 44.8 + 0.004 * std::cos(t * 0.07));
    default:
        break;
    }
    double wave = std::sin(t * (0.3 + 0.05 * k) + k);
    switch (k % 4) {
    case 0:
        return std::sprintf(out, "\t%.1f", 120.0 + 80.0 * wave);
    case 1:
        return std::sprintf(out, "\t%.3f", 1.6 * wave);
    case 2:
        return std::sprintf(out, "\t%.0f", 9000.0 + 3000.0 * wave);
    default:
        return std::sprintf(out, "\t%.2f", 85.0 + 10.0 * wave);
    }
}

// A deterministic export of about target bytes, CR LF line ends as the
// logger's software writes them.
ExportFile write_export(const std::string& name, long target) {
    ExportFile file{(std::filesystem::temp_directory_path() / name).string()};
    std::FILE* out = std::fopen(file.path.c_str(), "wb");
    std::string title = "Idx\tTime [s]\tDistance [m]\tLatitude [deg]\tLongitude [deg]\t";
    for (int k = 5; k < CHANNELS; ++k) title += "Channel " + std::to_string(k) + " [u]\t";
    file.bytes += std::fprintf(out, "%s\r\n", title.c_str());
    char line[1024];
    for (long i = 0; file.bytes < target; ++i, ++file.rows) {
        int lap_row = static_cast<int>(i % LAP_SAMPLES);
        int n = lap_row == 0
                    ? std::sprintf(line, "Lap: %ld/%ld", i / LAP_SAMPLES, i / LAP_SAMPLES + 1)
                    : 0;
        n += std::sprintf(line + n, "\t%ld", i);
        for (int k = 1; k < CHANNELS; ++k) n += format_value(line + n, k, i, lap_row);
        n += std::sprintf(line + n, "\r\n");
        file.bytes += static_cast<long>(std::fwrite(line, 1, n, out));
    }
    file.bytes += std::fprintf(out, "Lap:\r\n1 Laps 0\r\n");
    std::fclose(out);
    return file;
}

const ExportFile& big_export() {
    static ExportFile file = write_export("lx-bench-50mb.txt", BIG_BYTES);
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
        lx::Session* s = lx::read_aim_export(file.path.c_str(), {0, 1});
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
    lx::Session* s = lx::read_aim_export(file.path.c_str(), {0, 1});
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
    static ExportFile file = write_export("lx-bench-small.txt", 30'000); // one lap, ~100 rows
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
        // Channel 5 as speed in km/h and 6 as lateral g; longitudinal g from speed.
        if (!lx_compute_session_math(h, 5, 6, LX_SPEED_KMH, 0, 0, 0) ||
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
        std::filesystem::remove(std::filesystem::temp_directory_path() / name);
}
