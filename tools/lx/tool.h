// What every subcommand shares: output streams, refusals, sessions, channel
// lookup and lap samples read back through the library's exports.
#pragma once

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "lx.h"

namespace CLI {
class App;
}

namespace lxtool {

constexpr int EXIT_REFUSED = 1;
constexpr int EXIT_USAGE = 2;

// Thrown to end a command; main prints the message on standard error.
struct Failure {
    int code;
    std::string message;
    std::string library_said; // taken at the throw, before sessions are freed
};
[[noreturn]] void refuse(const std::string& message); // the library refused the input
[[noreturn]] void usage_error(const std::string& message);

// ---- output ----------------------------------------------------------------

// The tool's own standard output. The library prints on the process's
// standard output too, so start_output moves that into a log of its own.
extern std::FILE* out;
void start_output(bool echo_library);
// The library's lines since the last call; echoed on standard error when
// asked for, and always added to refusals.
std::string library_lines();
void finish_output();

// A file in the tool's temporary folder, removed when the tool ends.
std::string temp_file(const std::string& name);

// ---- sessions --------------------------------------------------------------

// An open session, freed when it goes out of scope.
class Session {
  public:
    static Session open(const std::string& path);
    static Session adopt(int handle) { return Session(handle); }
    Session(Session&& other) noexcept
        : source(std::move(other.source)), handle_(std::exchange(other.handle_, 0)) {}
    Session& operator=(Session&&) = delete;
    ~Session();
    int handle() const { return handle_; }
    int laps() const;
    int channels() const;
    std::string source;

  private:
    explicit Session(int handle) : handle_(handle) {}
    int handle_;
};

// Lap numbers on the command line count from 1; the library's from 0.
int lap_index(const Session& s, int lap_number, const char* option);

struct LapText {
    std::string label; // the lap's number as the library writes it
    std::string time;  // m:ss.sss
    std::string note;  // where a cut lap came from, or empty
};
// which 0: the lap time the logger reported, 1: the time measured from the samples.
LapText lap_text(const Session& s, int lap, int unit = 1, int which = 0);
double seconds_of(const std::string& laptime);

std::string channel_name(const Session& s, int channel);
// The channel with this name (any case), or -1.
int find_channel(const Session& s, const std::string& name);

// ---- session math ----------------------------------------------------------

struct MathOptions {
    std::string speed, lateral, longitudinal;
    std::string units = "auto";
    bool invert_lat = false;
    bool invert_long = false;
};
void add_math_options(CLI::App* command, MathOptions& options);

struct MathChannels {
    int speed, lateral, longitudinal; // longitudinal 0: derived from speed
    int speed_units;                  // 0 mph, 1 km/h
};
MathChannels choose_math_channels(const Session& s, const MathOptions& options);
// Adds and computes speed, accelerations, distance and curvature.
MathChannels compute_math(const Session& s, const MathOptions& options);

// Laps of at least 90 % of the median length: partial laps at the ends of a
// session would otherwise pass for the fastest.
std::vector<bool> whole_laps(const Session& s);
// The quickest whole lap (from 0), or -1; needs the session math.
int fastest_lap(const Session& s);

// ---- samples ---------------------------------------------------------------

// One lap's samples, read back from the library's MoTeC export: every
// channel but channel 0, four decimals.
struct LapSamples {
    std::vector<std::string> names; // channel c is names[c - 1]
    std::vector<std::string> units;
    std::vector<std::vector<double>> columns;
    double sample_rate = 0;
    int npoints = 0;
    const std::vector<double>& channel(int c) const;
};
LapSamples read_lap(const Session& s, int lap);
// Speed in m/s from the library's speed channel, which the export writes in mph.
std::vector<double> speed_ms(const LapSamples& lap, int speed_channel);

} // namespace lxtool
