// What the importer benchmarks measure besides time: resident memory, the
// session's own arrays and page faults. Files are generated in a child
// process, so that the peak memory reported is the reader's alone.
#pragma once

#include <fstream>
#include <functional>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "gen.h"
#include "session/session.h"

namespace lxbench {

// A /proc/self/status field in MB ("VmRSS:", "VmHWM:"); 0 when absent.
inline double resident_mb(const char* field) {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind(field, 0) == 0)
            return std::stod(line.substr(std::string(field).size())) / 1024.0;
    return 0.0;
}

inline long long array_bytes(const lx::Session* s) {
    long long bytes = 0;
    for (int l = 0; l < s->nlaps; ++l) bytes += 4LL * s->laps[l].npoints * s->nchannels;
    return bytes;
}

inline long minor_faults() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_minflt;
}

// Writes a generated session of `channels` channels at `rate` to `path`, with
// laps added until the file holds at least `bytes`, in a child process.
inline void
write_generated_in_child(const char* path, long bytes, int channels, double rate, bool gps,
                         const std::function<std::string(const lxgen::Recording&)>& write) {
    pid_t child = fork();
    if (child == 0) {
        lxgen::SessionPlan plan;
        plan.sample_rate = rate;
        plan.gps = gps;
        plan.flying_laps = 1;
        for (;;) { // more laps until the file is large enough
            lxgen::Recording r = lxgen::drive_session(plan);
            r.widen(channels);
            std::string text = write(r);
            if (long(text.size()) >= bytes || plan.flying_laps >= 120) {
                std::ofstream(path, std::ios::binary) << text;
                std::_Exit(0);
            }
            plan.flying_laps = int(plan.flying_laps * double(bytes) / double(text.size())) + 1;
        }
    }
    int status = 0;
    waitpid(child, &status, 0);
}

} // namespace lxbench
