// Reading 50 MB RaceChrono and MoTeC CSV files (40 channels at 100 samples per
// second, written by the session generator) into a session: input bytes per
// second, printed, not enforced (the aim is 300 MB/s). The files are written
// by a child process before the timing starts.
#include <benchmark/benchmark.h>

#include <filesystem>

#include "bench_memory.h"
#include "gen.h"
#include "import/import.h"

namespace {

constexpr int CHANNELS = 40;
constexpr double RATE = 100.0;
constexpr long TARGET_BYTES = 50'000'000;
const char* const RACECHRONO_FILE = "lx-bench-racechrono-50mb.csv";
const char* const MOTEC_FILE = "lx-bench-motec-50mb.csv";

void read_csv(benchmark::State& state, const char* file, lx::FileFormat format) {
    for (auto _ : state) {
        lx::ImportResult r = lx::import_csv(file, format, {});
        if (r.session == nullptr) {
            state.SkipWithError(r.message.c_str());
            break;
        }
        lx::free_session(r.session);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) *
                            int64_t(std::filesystem::file_size(file)));
}

void import_racechrono_csv(benchmark::State& state) {
    read_csv(state, RACECHRONO_FILE, lx::FileFormat::racechrono_csv);
}
void import_motec_csv(benchmark::State& state) {
    read_csv(state, MOTEC_FILE, lx::FileFormat::motec_csv);
}
BENCHMARK(import_racechrono_csv)->Unit(benchmark::kMillisecond);
BENCHMARK(import_motec_csv)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    lxbench::write_generated_in_child(
        RACECHRONO_FILE, TARGET_BYTES, CHANNELS, RATE, true,
        [](const lxgen::Recording& r) { return lxgen::write_racechrono_csv(r); });
    lxbench::write_generated_in_child(
        MOTEC_FILE, TARGET_BYTES, CHANNELS, RATE, true,
        [](const lxgen::Recording& r) { return lxgen::write_motec_csv(r); });
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::filesystem::remove(RACECHRONO_FILE);
    std::filesystem::remove(MOTEC_FILE);
}
