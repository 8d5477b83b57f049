// Helpers shared by the fuzz targets: scratch files, silenced output and
// checks that an input left the library as it found it.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

#include "data/handles.h"
#include "frame/frame.h"
#include "lx.h"
#include "session/session.h"

namespace lxfuzz {

inline void remove_scratch_dir();

// A folder of our own in memory-backed storage when there is one, gone when
// the run ends (a CI machine runs thousands of these).
inline std::string scratch_dir() {
    static const std::string dir = [] {
        const char* base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        std::string path = std::string(base) + "/lx-fuzz-" + std::to_string(getpid());
        std::error_code error;
        std::filesystem::create_directories(path, error);
        if (error) std::abort();
        return path;
    }();
    // Registered once dir exists, so that it runs before dir is destroyed.
    static const bool removed_at_exit = std::atexit(remove_scratch_dir) == 0;
    (void)removed_at_exit;
    return dir;
}

inline void remove_scratch_dir() {
    std::error_code ignored;
    std::filesystem::remove_all(scratch_dir(), ignored);
}

inline void write_file(const std::string& path, const void* data, std::size_t size) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) std::abort();
    if (size != 0 && std::fwrite(data, 1, size, f) != size) std::abort();
    std::fclose(f);
}

// The library prints every failure; libFuzzer reports on standard error.
inline void silence_stdout() {
    if (std::freopen("/dev/null", "w", stdout) == nullptr) std::abort();
}

inline void free_all_sessions() {
    for (int h = 1; h <= lx::MAX_SESSIONS; ++h)
        if (lx::lookup_session(h)) lx_free_session(h);
    lx::data::close_data_sessions();
}

[[noreturn]] inline void fail(const char* what) {
    std::fprintf(stderr, "lx fuzz invariant broken: %s\n", what);
    std::abort();
}

// Every slot empty, the count at 0 and every block given back.
inline void check_clean(long baseline_blocks) {
    for (int h = 1; h <= lx::MAX_SESSIONS; ++h)
        if (lx::lookup_session(h)) fail("a slot still holds a session");
    if (lx::library.open_sessions != 0) fail("open_sessions is not 0 with every slot empty");
    if (lx::data::data_sessions_open() != 0) fail("a session of the data API is still open");
    if (lx::live_allocations() != baseline_blocks) fail("blocks leaked");
}

// open_sessions must always count the occupied slots.
inline void check_count() {
    int occupied = 0;
    for (int h = 1; h <= lx::MAX_SESSIONS; ++h) occupied += lx::lookup_session(h) != nullptr;
    if (occupied != lx::library.open_sessions) fail("open_sessions differs from occupied slots");
}

} // namespace lxfuzz
