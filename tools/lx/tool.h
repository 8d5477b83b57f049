// What every subcommand shares: refusals, the library's lines, sessions and
// their facts, channels and lap samples, all through the public headers.
#pragma once

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "lx.h"
#include "lx_data.h"

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
};
[[noreturn]] void refuse(const std::string& message); // the input cannot be used
[[noreturn]] void usage_error(const std::string& message);
// "lx: note: ..." on standard error: what the reader chose or found odd.
void note(const std::string& message);
void warn(const std::string& message);

// ---- output and the library's messages -------------------------------------

// The tool's own standard output.
extern std::FILE* out;
// A table row on out, without the spaces that empty last columns leave.
void row(const char* format, ...) __attribute__((format(printf, 1, 2)));
// -v: the longer explanations.
void set_verbose(bool on);
bool verbose();
// The library's last message in the user's words: without the C function it
// names, with the tool's options for the library's and file names for handles.
std::string library_message();
// A refusal naming what failed and the library's last word on why.
[[noreturn]] void library_refused(const std::string& what);

// ---- sessions --------------------------------------------------------------

// --rate, --channels and --laps: how every command opens its files.
void add_open_options(CLI::App* command);

// An open session, closed when it goes out of scope.
class Session {
  public:
    static Session open(const std::string& path);
    static Session adopt(int handle, std::string source);
    Session(Session&& other) noexcept
        : source(std::move(other.source)), handle_(std::exchange(other.handle_, 0)) {}
    Session& operator=(Session&&) = delete;
    ~Session();
    int handle() const { return handle_; }
    int laps() const;
    int channels() const;
    lx_session_info info() const;
    // What the reader chose or found odd, one note a line.
    std::vector<std::string> notes() const;
    std::string source;

  private:
    Session(int handle, std::string path) : source(std::move(path)), handle_(handle) {}
    int handle_;
};

// The lap (from 0) that the user knows by this number: its place in the
// file, which a lap window keeps; refuses naming the laps there are.
int lap_index(const Session& s, int lap_number, const char* option);

// Each of the session's notes on standard error, "lx: note: ...".
void print_notes(const Session& s);

lx_lap_info lap_info(const Session& s, int lap);
// The lap's number, and the logger's own beside it where it differs: "7 (logger 5)".
std::string lap_name(const lx_lap_info& lap);
// The width of the lap column: the longest lap_name of the session, at least 3.
int lap_width(const Session& s);
// Where a lap of a session cut by lap matching came from; "" for other laps.
std::string origin_text(const lx_lap_info& lap);
// "1 lap", "2 laps".
std::string count_of(std::size_t n, const char* noun);
// m:ss.sss, to the millisecond.
std::string laptime_text(double seconds);
// Seconds with a sign, to the millisecond, never "-0.000"; "" for NaN.
std::string signed_seconds(double seconds);
// The sample rate as the file states it where the measured one lies within
// 0.1 % of it, else the measured one to 4 significant figures.
std::string rate_text(const lx_session_info& info);

lx_channel_info channel_info(const Session& s, int channel);
std::string channel_name(const Session& s, int channel);  // as stored
std::string channel_title(const Session& s, int channel); // as the file wrote it
// The channel by its title as written or its stored name; refuses (exit 1)
// naming the nearest names or the matches.
int find_channel(const Session& s, const std::string& name, const char* option);
// The channel, or -1 when there is none (no message).
int try_find_channel(const Session& s, const std::string& name);

// The derived channel's number, or 0 when it has not been added.
int derived_channel(const Session& s, lx_derived_channel id);

// One lap's samples of one channel, as the library holds them.
std::vector<float> lap_samples(const Session& s, int lap, int channel);

// Names of lap classes for tables: "", "out-lap", "in-lap", "partial", "double".
const char* class_name(int lap_class);
// The class as JSON names it: "full", "out", "in", "partial", "double", "unknown".
const char* class_key(int lap_class);

// Writes text to path, or refuses naming the path and why.
void write_file(const std::string& path, const std::string& text);
// Refuses when path cannot be written, before any work is done.
void check_writable(const std::string& path);

} // namespace lxtool
