// What the readers of binary logs share: a file read by ranges that are
// checked against its size, and a session built on one even grid of samples.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <new>
#include <span>
#include <string>
#include <vector>

#include "import/build.h"
#include "import/csv_lines.h"
#include "import/import.h"
#include "import/layout.h"
#include "lx_data.h"

namespace lx {

class BinaryFile {
  public:
    explicit BinaryFile(const std::string& path); // refused when it cannot be opened
    ~BinaryFile();
    BinaryFile(const BinaryFile&) = delete;
    BinaryFile& operator=(const BinaryFile&) = delete;

    const std::string& path() const { return path_; }
    std::uint64_t size() const { return size_; }
    bool holds(std::uint64_t offset, std::uint64_t bytes) const {
        return offset <= size_ && bytes <= size_ - offset;
    }
    // Refused, naming the byte and what should lie there, when the range is
    // not inside the file.
    void read(std::uint64_t offset, std::size_t bytes, void* dest, const std::string& what) const;
    std::vector<unsigned char> read(std::uint64_t offset, std::size_t bytes,
                                    const std::string& what) const;
    // "FILE: byte N: cause" as a FORMAT refusal.
    [[noreturn]] void refuse_at(std::uint64_t offset, const std::string& cause) const;

  private:
    std::string path_;
    std::FILE* file_ = nullptr;
    std::uint64_t size_ = 0;
};

// Both formats are little-endian, as is every machine lx is built for.
template <class T> T load(const unsigned char* bytes) {
    T value;
    std::memcpy(&value, bytes, sizeof value);
    return value;
}

// A fixed-size text field: up to its first zero byte, trailing blanks off, in
// UTF-8, control characters as '?' (every message stays one line).
std::string fixed_text(const unsigned char* bytes, std::size_t size);

// A text from the file fit for a one-line message: control characters become '?'.
std::string printable(const std::string& text);

// Whether bytes from offset, past the end of the file, could be its own data
// cut short: a file cut short keeps at least half of what its header
// places; a place beyond that is a header that lies.
inline bool within_cut_file(std::uint64_t offset, std::uint64_t bytes, std::uint64_t size) {
    return size <= UINT64_MAX / 2 && offset <= 2 * size && bytes <= 2 * size - offset;
}

// The file's size in bytes, or 0 when it cannot be told.
std::uint64_t file_size(std::FILE* file);

struct GridLap {
    long first = 0, count = 0; // samples of the grid
    int number = 0;
    long long logger_ms = -1; // the logger's lap time; -1 when none
};

// Samples evenly spaced at rate from time 0, cut into laps.
struct Grid {
    double rate = 0;
    long samples = 0;
    std::vector<GridLap> laps; // the laps kept, in order
    long begin() const { return laps.front().first; }
    long end() const { return laps.back().first + laps.back().count; }
};

// The laps of a grid from the times its lap lines were crossed (seconds,
// ascending): a lap from the first sample, one from each line. logger_ms
// holds the logger's time of each lap so counted. Applies the window of laps
// and the lap limit.
void plan_laps(Grid& grid, const std::vector<double>& lines,
               const std::vector<long long>& logger_ms, const std::string& path,
               const ImportOptions& options);

// Units converted, position and speed found, the --channels choice applied.
// Over the channel limit the columns named in defaults are kept instead (and
// notes says so) when there are defaults, else the file is refused.
void choose_columns(Layout& layout, const std::string& path, const ImportOptions& options,
                    std::span<const char* const> defaults, std::string& notes);

struct GridSession {
    SessionPointer session;
    std::vector<int> store; // per column: session channel or -1
    int east = -1, north = -1;
};

// A session with the channels of the layout and arrays for the grid's laps.
// The reader then writes every sample of the kept columns, of East and North
// (0 where there is no fix), and the speed in m/s into Distance (channel 2).
GridSession start_grid_session(const std::string& path, const Layout& layout, const Grid& grid,
                               const char* format);

// Sample index, Time, Distance from the speed the reader left in it (or 0
// without a speed column), lap times and rate.
void finish_grid_session(Session& s, const Layout& layout, const Grid& grid);

// Walks the grid's kept samples in order, telling each one's lap and place in it.
class GridCursor {
  public:
    GridCursor(const Session& s, const Grid& grid) : s_(s), grid_(grid) {}
    // The array slot of channel c at grid sample g, or null outside the kept
    // laps. Samples must come in ascending order.
    float* at(long g, int c) {
        if (!seek(g)) return nullptr;
        return s_.laps[lap_].raw[c] + (g - grid_.laps[lap_].first);
    }
    bool seek(long g) {
        if (g < grid_.begin() || g >= grid_.end()) return false;
        while (g >= grid_.laps[lap_].first + grid_.laps[lap_].count) ++lap_;
        return true;
    }
    int lap() const { return lap_; }
    long index(long g) const { return g - grid_.laps[lap_].first; }

  private:
    const Session& s_;
    const Grid& grid_;
    std::size_t lap_ = 0;
};

} // namespace lx
