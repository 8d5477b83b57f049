// Shared fixtures: scratch files, captured standard output, sessions built in memory.
#pragma once

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "frame/frame.h"
#include "lx_data.h"
#include "session/session.h"

namespace lxtest {

// The running test's scratch folder under the build tree, created on first
// use and removed with everything in it when the test ends.
std::string scratch_dir();
// A fresh path in the scratch folder.
std::string temp_path(const std::string& suffix);
// Writes content to a fresh file in the scratch folder and returns its path.
std::string write_temp_file(const std::string& content, const std::string& suffix = ".txt");
std::string read_file(const std::string& path);

// Captures what the library prints on standard output while it lives.
class StdoutCapture {
  public:
    StdoutCapture();
    ~StdoutCapture();
    std::string text(); // ends the capture; later calls give the same text
  private:
    bool active_;
    std::string text_;
};

// Sets the trace switches for a test and restores them afterwards.
class TraceSwitches {
  public:
    TraceSwitches(int verbose, int quiet);
    ~TraceSwitches();

  private:
    lx::TraceOptions saved_;
};

// A session with channels "Idx", "Time", "Distance" and then extra_channels
// more ("c3", ...), one lap per entry of lap_points, Time filled as
// sample_index / sample_rate across the session, everything else 0.
lx::Session* make_session(const std::vector<int>& lap_points, float sample_rate,
                          int extra_channels = 0);
// Stores s under a handle like an opened file; returns the handle.
int install(lx::Session* s);
// The same under a handle of the data API.
int install_data(lx::Session* s);
// The session under a handle of either side, or null.
lx::Session* session_of(int handle);
// The data API's session math with lx_compute_session_math's arguments: 1 on
// success, 0 on a refusal, as that export answers.
int session_math(int h, int speed, int latg, int units, int invert_lat, int longg, int invert_long);
// Laps and channels of a session of either side; 0 for an unknown handle.
int lap_count(int h);
int channel_count(int h);
// Frees every open session (quietly) so that each test starts from an empty table.
void close_all_sessions();

// Each test starts and ends with no session open, and leaves no failure armed.
class FreshSessions : public testing::Test {
  protected:
    void SetUp() override { close_all_sessions(); }
    void TearDown() override {
        lx::fail_allocation_at(0);
        close_all_sessions();
    }
};

using Samples = std::vector<float>;

inline void set_samples(lx::Session* s, int lap, int channel, const Samples& values) {
    for (std::size_t j = 0; j < values.size(); ++j) s->laps[lap].raw[channel][j] = values[j];
}

inline Samples samples(const lx::Session* s, int lap, int channel) {
    const lx::Lap& l = s->laps[lap];
    return Samples(l.raw[channel], l.raw[channel] + l.npoints);
}

// Mean of sample i and the n before it, the first sample standing in before the lap.
inline Samples trailing_mean(const Samples& x, int n) {
    Samples y(x.size());
    for (std::size_t i = 0; i < x.size(); ++i) {
        double sum = 0.0;
        for (int back = 0; back <= n; ++back) sum += back <= int(i) ? x[i - back] : x[0];
        y[i] = static_cast<float>(sum / (n + 1));
    }
    return y;
}

// A float compared bit for bit; a mismatch prints it in hexfloat, where one
// bit of difference shows (gtest's six digits hide it).
struct Bits {
    float value;
    bool operator==(const Bits& other) const;
};
void PrintTo(const Bits& b, std::ostream* os);
std::vector<Bits> bits(const std::vector<float>& values);

// Fills an array with a value no result should hold, so unwritten cells show.
constexpr int POISON = 0x5A5A5A5A;
void poison(std::vector<int>& cells);

} // namespace lxtest
