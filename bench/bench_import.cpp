// Reading a 50 MB AiM CSV export (40 channels at 100 samples per second,
// written by the session generator) into a session. The file is written by a
// child process, so that the peak memory reported is the importer's alone.
// LX_BENCH_KEEP=1 keeps the file for bench_import_pandas.py.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "bench_memory.h"
#include "gen.h"
#include "import/import.h"

namespace {

using lxbench::array_bytes;
using lxbench::minor_faults;
using lxbench::resident_mb;

constexpr int CHANNELS = 40;
constexpr double RATE = 100.0;
constexpr long TARGET_BYTES = 50'000'000;
const char* const FILE_NAME = "lx-bench-aim-50mb.csv";

void import_aim_csv(benchmark::State& state) {
    double baseline = resident_mb("VmRSS:");
    long long arrays = 0;
    long faults_before = minor_faults();
    for (auto _ : state) {
        lx::ImportResult r = lx::import_csv(FILE_NAME, lx::FileFormat::aim_csv, {});
        if (r.session == nullptr) {
            state.SkipWithError(r.message.c_str());
            break;
        }
        arrays = array_bytes(r.session);
        lx::free_session(r.session);
    }
    double arrays_mb = double(arrays) / 1048576.0;
    state.SetBytesProcessed(int64_t(state.iterations()) *
                            int64_t(std::filesystem::file_size(FILE_NAME)));
    state.counters["arrays_MB"] = arrays_mb;
    state.counters["peak_rss_MB"] = resident_mb("VmHWM:");
    state.counters["beyond_arrays_MB"] = resident_mb("VmHWM:") - baseline - arrays_mb;
    state.counters["page_faults"] =
        double(minor_faults() - faults_before) / double(std::max<int64_t>(state.iterations(), 1));
}
BENCHMARK(import_aim_csv)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    lxbench::write_generated_in_child(
        FILE_NAME, TARGET_BYTES, CHANNELS, RATE, false,
        [](const lxgen::Recording& r) { return lxgen::write_aim_csv(r); });
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    const char* keep = std::getenv("LX_BENCH_KEEP");
    if (keep == nullptr || std::string(keep) != "1") std::filesystem::remove(FILE_NAME);
}
