// Reading 50 MB MoTeC LD and iRacing telemetry files (40 channels at 100
// samples per second, written by the session generator) into a session:
// input bytes per second and the peak memory beyond the sample arrays. The
// files are written by a child process, so that the peak is the reader's.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include "bench_memory.h"
#include "gen.h"
#include "import/import.h"

namespace {

using lxbench::resident_mb;

constexpr int CHANNELS = 40;
constexpr double RATE = 100.0;
constexpr long TARGET_BYTES = 50'000'000;
const char* const LD_FILE = "lx-bench-50mb.ld";
const char* const IBT_FILE = "lx-bench-50mb.ibt";

void write_files_in_child() {
    pid_t child = fork();
    if (child == 0) {
        lxgen::SessionPlan plan;
        plan.sample_rate = RATE;
        plan.flying_laps = 1;
        plan.gps = true;
        for (;;) { // more laps until the files are large enough
            lxgen::Recording r = lxgen::drive_session(plan);
            r.widen(CHANNELS);
            std::string ld = lxgen::write_ld(r);
            if (long(ld.size()) >= TARGET_BYTES || plan.flying_laps >= 120) {
                std::ofstream(LD_FILE, std::ios::binary) << ld;
                std::ofstream(IBT_FILE, std::ios::binary) << lxgen::write_ibt(r);
                std::_Exit(0);
            }
            plan.flying_laps = int(plan.flying_laps * double(TARGET_BYTES) / double(ld.size())) + 1;
        }
    }
    int status = 0;
    waitpid(child, &status, 0);
}

// The peak so far starts again from what is resident now.
void reset_peak() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

void read_binary(benchmark::State& state, const char* file,
                 lx::ImportResult (*reader)(const char*, const lx::ImportOptions&)) {
    reset_peak();
    double baseline = resident_mb("VmRSS:");
    long long arrays = 0;
    for (auto _ : state) {
        lx::ImportResult r = reader(file, {});
        if (r.session == nullptr) {
            state.SkipWithError(r.message.c_str());
            break;
        }
        arrays = 0;
        for (int l = 0; l < r.session->nlaps; ++l)
            arrays += 4LL * r.session->laps[l].npoints * r.session->nchannels;
        lx::free_session(r.session);
    }
    double arrays_mb = double(arrays) / 1048576.0;
    state.SetBytesProcessed(int64_t(state.iterations()) *
                            int64_t(std::filesystem::file_size(file)));
    state.counters["arrays_MB"] = arrays_mb;
    state.counters["beyond_arrays_MB"] = resident_mb("VmHWM:") - baseline - arrays_mb;
}

void import_ld(benchmark::State& state) {
    read_binary(state, LD_FILE, lx::import_ld);
}
void import_ibt(benchmark::State& state) {
    read_binary(state, IBT_FILE, lx::import_ibt);
}
BENCHMARK(import_ld)->Unit(benchmark::kMillisecond);
BENCHMARK(import_ibt)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    write_files_in_child();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::filesystem::remove(LD_FILE);
    std::filesystem::remove(IBT_FILE);
}
