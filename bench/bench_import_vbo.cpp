// Reading a 50 MB VBO file (40 channels at 100 samples per second, written
// by the session generator, with a start gate) into a session. The file is
// written by a child process, so that the peak memory reported is the
// reader's alone. Printed, not enforced: the aim is 300 MB/s and at most
// 16 MB beyond the arrays.
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

#include "gen.h"
#include "import/vbo.h"

namespace {

constexpr int CHANNELS = 40;
constexpr double RATE = 100.0;
constexpr long TARGET_BYTES = 50'000'000;
const char* const FILE_NAME = "lx-bench-vbo-50mb.vbo";

void write_file_in_child() {
    pid_t child = fork();
    if (child == 0) {
        lxgen::SessionPlan plan;
        plan.sample_rate = RATE;
        plan.gps = true;
        plan.flying_laps = 1;
        for (;;) { // more laps until the file is large enough
            lxgen::Recording r = lxgen::drive_session(plan);
            r.widen(CHANNELS);
            std::string text = lxgen::write_vbo(r);
            if (long(text.size()) >= TARGET_BYTES || plan.flying_laps >= 120) {
                std::ofstream(FILE_NAME, std::ios::binary) << text;
                std::_Exit(0);
            }
            plan.flying_laps =
                int(plan.flying_laps * double(TARGET_BYTES) / double(text.size())) + 1;
        }
    }
    int status = 0;
    waitpid(child, &status, 0);
}

double resident_mb(const char* field) {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind(field, 0) == 0)
            return std::stod(line.substr(std::string(field).size())) / 1024.0;
    return 0.0;
}

long long array_bytes(const lx::Session* s) {
    long long bytes = 0;
    for (int l = 0; l < s->nlaps; ++l) bytes += 4LL * s->laps[l].npoints * s->nchannels;
    return bytes;
}

long minor_faults() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_minflt;
}

void import_vbo(benchmark::State& state) {
    double baseline = resident_mb("VmRSS:");
    long long arrays = 0;
    long faults_before = minor_faults();
    for (auto _ : state) {
        lx::ImportResult r = lx::import_vbo(FILE_NAME, {});
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
BENCHMARK(import_vbo)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    write_file_in_child();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::filesystem::remove(FILE_NAME);
}
