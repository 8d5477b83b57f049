#include "support.h"

#include "data/handles.h"
#include "lx.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace lxtest {

namespace fs = std::filesystem;

namespace {

// Short, so that paths stay within what the library stores of a file name.
fs::path scratch_folder() {
    return fs::path(LX_SCRATCH_DIR) / ("t" + std::to_string(getpid()));
}

// Removes the scratch folder after each test and at the end of the program.
class ScratchCleaner : public testing::EmptyTestEventListener {
    void OnTestEnd(const testing::TestInfo&) override { remove(); }
    void OnTestProgramEnd(const testing::UnitTest&) override { remove(); }
    static void remove() {
        std::error_code ignored;
        fs::remove_all(scratch_folder(), ignored);
    }
};

[[maybe_unused]] const bool cleaner_installed = [] {
    testing::UnitTest::GetInstance()->listeners().Append(new ScratchCleaner);
    return true;
}();

} // namespace

std::string scratch_dir() {
    fs::create_directories(scratch_folder());
    return scratch_folder().string();
}

std::string temp_path(const std::string& suffix) {
    static std::atomic<int> counter{0};
    return scratch_dir() + "/f" + std::to_string(counter++) + suffix;
}

std::string write_temp_file(const std::string& content, const std::string& suffix) {
    std::string path = temp_path(suffix);
    std::ofstream(path, std::ios::binary) << content;
    return path;
}

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

StdoutCapture::StdoutCapture() : active_(true) {
    std::fflush(stdout);
    testing::internal::CaptureStdout();
}

StdoutCapture::~StdoutCapture() {
    text();
}

std::string StdoutCapture::text() {
    if (active_) {
        std::fflush(stdout);
        text_ = testing::internal::GetCapturedStdout();
        active_ = false;
    }
    return text_;
}

bool Bits::operator==(const Bits& other) const {
    return std::memcmp(&value, &other.value, sizeof value) == 0;
}

void PrintTo(const Bits& b, std::ostream* os) {
    *os << std::hexfloat << b.value << std::defaultfloat;
}

std::vector<Bits> bits(const std::vector<float>& values) {
    std::vector<Bits> out;
    for (float v : values) out.push_back({v});
    return out;
}

TraceSwitches::TraceSwitches(int verbose, int quiet) : saved_(lx::library.trace) {
    lx::library.trace.verbose = verbose;
    lx::library.trace.quiet = quiet;
}

TraceSwitches::~TraceSwitches() {
    lx::library.trace = saved_;
}

lx::Session* make_session(const std::vector<int>& lap_points, float sample_rate,
                          int extra_channels) {
    lx::Session* s = lx::new_session();
    lx::copy_text(s->filename, "memory.txt");
    const char* names[] = {"Idx", "Time", "Distance"};
    for (const char* name : names) lx::copy_text(s->channels[s->nchannels++].name, name);
    for (int c = 0; c < extra_channels; ++c)
        lx::copy_text(s->channels[s->nchannels++].name, ("c" + std::to_string(c + 3)).c_str());
    s->nfile_channels = s->nchannels;
    s->sample_rate = sample_rate;
    int index = 0;
    for (int n : lap_points) {
        lx::Lap& lap = s->laps[s->nlaps];
        lap.npoints = n;
        lap.number = s->nlaps + 1;
        for (int c = 0; c < s->nchannels; ++c)
            lap.raw[c] = static_cast<float*>(lx::alloc_zeroed(sizeof(float) * n));
        for (int j = 0; j < n; ++j, ++index) lap.raw[1][j] = index / sample_rate;
        lap.laptime = lap.raw_laptime = n / sample_rate;
        s->nlaps++;
    }
    return s;
}

int install(lx::Session* s) {
    return lx::store_session(s);
}
int install_data(lx::Session* s) {
    return lx::data::add_data_session(s);
}

lx::Session* session_of(int handle) {
    lx::Session* s = lx::lookup_session(handle);
    return s ? s : lx::data::data_session(handle);
}

int session_math(int h, int speed, int latg, int units, int invert_lat, int longg,
                 int invert_long) {
    lx_math_options math{speed, latg, longg, units, invert_lat, invert_long};
    return lx_session_math(h, &math) == LX_OK;
}

int lap_count(int h) {
    lx_session_info info{};
    return lx_session_info_get(h, &info) == LX_OK ? info.laps : 0;
}

int channel_count(int h) {
    lx_session_info info{};
    return lx_session_info_get(h, &info) == LX_OK ? info.channels : 0;
}

void close_all_sessions() {
    StdoutCapture quiet;
    for (int h = 1; h <= lx::MAX_SESSIONS; ++h)
        if (lx::lookup_session(h)) lx_free_session(h);
    lx::data::close_data_sessions();
}

void poison(std::vector<int>& cells) {
    for (int& cell : cells) cell = POISON;
}

} // namespace lxtest
