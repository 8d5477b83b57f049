// Shared fixtures: scratch files, captured standard output, sessions built in memory.
#pragma once

#include <string>
#include <vector>

#include "frame/frame.h"
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
// Frees every open session (quietly) so that each test starts from an empty table.
void close_all_sessions();

// Fills an array with a value no result should hold, so unwritten cells show.
constexpr int POISON = 0x5A5A5A5A;
void poison(std::vector<int>& cells);

} // namespace lxtest
