// The two passes over the samples: the first finds the time base, the laps
// and the GPS origin; the second reads every value into the session's arrays.
#pragma once

#include <memory>
#include <vector>

#include "import/build.h"
#include "import/layout.h"
#include "session/record.h"
#include "session/session.h"

namespace lx {

struct LapPlan {
    double start = 0;          // session seconds
    int number = 0;            // the logger's
    double logger_time = -1;   // the logger's lap time; < 0 when the file states none
    long first = 0, count = 0; // samples
    bool at_line = false;      // begins where the track crossed the start line
};

struct SamplePlan {
    std::vector<double> times;    // every sample's session time
    std::vector<LapPlan> laps;    // the laps kept, in order
    long rows = 0;                // sample rows read (repeats dropped)
    std::vector<long> superseded; // lines of rows that a restarted time repeats
    double start_time = 0;        // Unix time of the first row, 0 when unknown
    bool has_origin = false;
    double origin_latitude = 0, origin_longitude = 0;
    double stated_rate = 0; // the file's own, or its GPS's; 0 when it states none
    int first_lap = 1;      // the file's place of the first lap kept, from 1
    bool starts_at_mark = false, ends_at_mark = false; // cut at a lap mark there
    bool truncated = false;                            // the file ends inside a row, left out
};

// Session time of each row: Unix times rebased to the first row, times that
// restart at a beacon carried on, repeated times dropped, backward ones refused.
class Timeline {
  public:
    Timeline(const Layout& layout, const CsvLines& lines) : layout_(layout), lines_(lines) {}
    // A row repeating the time before is dropped, unless the time restarted
    // there: then it replaces the row before (its Time and Distance are 0).
    enum class Placed { kept, repeated, replaces };
    Placed place(double file_time, double& time);
    double first_time() const { return origin_; }
    const std::vector<double>& restarts() const { return restarts_; }

  private:
    const Layout& layout_;
    const CsvLines& lines_;
    bool started_ = false;
    double origin_ = 0, offset_ = 0, last_file_ = 0, last_ = 0;
    std::vector<double> restarts_; // session times where the file's time began again
};

// Reads the rows' times and lap numbers; gives the samples, laps and origin.
SamplePlan plan_samples(CsvLines& lines, const Layout& layout, const ImportOptions& options);

// Reads every value onto the samples of the plan, into the session's arrays
// (allocated to the plan's lap sizes); fills Time and the sample index.
void fill_samples(CsvLines& lines, const Layout& layout, const SamplePlan& plan, Session& s,
                  const std::vector<int>& store, int east, int north);

// The fields of a sample row: the header's count, or one more that is empty.
void check_field_count(const CsvLines& lines, std::size_t fields, std::size_t columns,
                       bool last_empty);

// Rewinds and skips to the first sample row.
void seek_samples(CsvLines& lines, const Layout& layout);

// The time field of a row as a number; refused when it is none.
double row_time(const CsvLines& lines, const Layout& layout, std::string_view field);

// Seconds rounded to the millisecond, as loggers state lap times.
double to_millisecond(double seconds);

// Each lap's first sample (the first at its start, less half a millisecond);
// laps that no sample falls into go.
void place_laps(std::vector<LapPlan>& laps, const std::vector<double>& times);

// The window of laps asked for; refused beyond the session's lap and sample limits.
void take_window(const CsvLines& lines, SamplePlan& plan, const ImportOptions& options);

// Building the session (import_csv.cpp).
struct Channels {
    std::vector<int> store; // per column: session channel or -1
    int east = -1, north = -1;
};
// Sample, Time, Distance, the kept columns, East and North; titles to the record.
Channels add_channels(Session& s, SessionRecord& record, const Layout& layout);
// All lap arrays in one block, sized by the plan.
void allocate_laps(Session& s, const SamplePlan& plan);
// raw_laptime as the text-export reader counts it; laptime the logger's own.
void set_lap_times(Session& s, const SamplePlan& plan);
// The note for a file that ends inside the row on line.
std::string cut_row_note(long line);
// Format, metadata, start time and origin.
void fill_record(Session& s, SessionRecord& record, const Layout& layout, const SamplePlan& plan);

} // namespace lx
