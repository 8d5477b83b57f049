// The CSV importers' common road: header, first pass, session, second pass.
#include <algorithm>
#include <cmath>
#include <memory>
#include <new>

#include "base/units.h"
#include "import/build.h"
#include "import/import.h"
#include "import/passes.h"
#include "import/text.h"
#include "lx_data.h"
#include "session/record.h"

namespace lx {

namespace {

const char* format_name(FileFormat format) {
    switch (format) {
    case FileFormat::aim_csv:
        return "AiM CSV";
    case FileFormat::racechrono_csv:
        return "RaceChrono CSV";
    case FileFormat::motec_csv:
        return "MoTeC CSV";
    case FileFormat::vbo:
        return "VBO";
    default:
        return "CSV";
    }
}

} // namespace

std::string cut_row_note(long line) {
    return "line " + std::to_string(line) +
           ": the file ends inside this row; the session ends at the row before";
}

Channels add_channels(Session& s, SessionRecord& record, const Layout& layout) {
    ChannelNamer namer;
    add_titled(s, record, namer, "Sample", "");
    add_titled(s, record, namer, "Time", "s");
    add_titled(s, record, namer, "Distance", "m");
    Channels channels;
    for (const Column& c : layout.columns)
        channels.store.push_back(c.keep ? add_titled(s, record, namer, c.title, c.unit, c.source)
                                        : -1);
    if (layout.latitude != NONE && layout.longitude != NONE) {
        channels.east = add_titled(s, record, namer, "East", "m");
        channels.north = add_titled(s, record, namer, "North", "m");
    }
    s.nfile_channels = s.nchannels;
    return channels;
}

// All arrays in one block: written whole by fill_samples.
void allocate_laps(Session& s, const SamplePlan& plan) {
    std::size_t floats = 0;
    for (const LapPlan& lap : plan.laps) floats += padded(lap.count) * std::size_t(s.nchannels);
    float* next = alloc_samples(&s, floats);
    if (next == nullptr) refuse(LX_ERR_MEMORY, std::string(s.filename) + ": out of memory");
    s.nlaps = int(plan.laps.size());
    for (int l = 0; l < s.nlaps; ++l) {
        Lap& lap = s.laps[l];
        lap.npoints = int(plan.laps[l].count);
        lap.number = plan.laps[l].number;
        for (int c = 0; c < s.nchannels; ++c, next += padded(lap.npoints)) lap.raw[c] = next;
    }
}

// raw_laptime as the text-export reader counts it; laptime the logger's own.
void set_lap_times(Session& s, const SamplePlan& plan) {
    float total_time = 0.0f;
    long long total_samples = 0;
    for (int l = 0; l < s.nlaps; ++l) {
        Lap& lap = s.laps[l];
        const float* t = lap.raw[1];
        int n = lap.npoints;
        double last = t[n - 1];
        double interval = n > 1 ? last - static_cast<double>(t[n - 2]) : 0.0;
        lap.raw_laptime = static_cast<float>(last + interval);
        double logger = plan.laps[l].logger_time;
        lap.laptime = logger >= 0 ? static_cast<float>(logger) : lap.raw_laptime;
        total_time += lap.raw_laptime;
        total_samples += n;
    }
    s.sample_rate = total_time > 0.0f ? static_cast<float>(static_cast<double>(total_samples) /
                                                           static_cast<double>(total_time))
                                      : 0.0f;
}

void fill_record(Session& s, SessionRecord& record, const Layout& layout, const SamplePlan& plan) {
    record.format = format_name(layout.format);
    record.venue = layout.venue;
    record.vehicle = layout.vehicle;
    record.driver = layout.driver;
    record.date = layout.date;
    record.time = layout.time_of_day;
    record.start_time = plan.start_time;
    record.logger = layout.logger;
    record.stated_rate = plan.stated_rate;
    record.first_lap = plan.first_lap;
    record.starts_at_mark = plan.starts_at_mark;
    record.ends_at_mark = plan.ends_at_mark;
    record.truncated = plan.truncated;
    for (const LapPlan& lap : plan.laps)
        record.logger_ms.push_back(
            lap.logger_time >= 0 ? std::llround(lap.logger_time * MS_PER_SECOND) : -1);
    if (plan.has_origin) {
        record.origin_latitude = plan.origin_latitude;
        record.origin_longitude = plan.origin_longitude;
    }
    copy_utf8(s.venue, sizeof s.venue, layout.venue);
    copy_utf8(s.vehicle, sizeof s.vehicle, layout.vehicle);
    copy_utf8(s.driver, sizeof s.driver, layout.driver);
}

namespace {

Layout read_header(CsvLines& lines, FileFormat format) {
    switch (format) {
    case FileFormat::aim_csv:
        return read_aim_header(lines);
    case FileFormat::motec_csv:
        return read_motec_header(lines);
    case FileFormat::racechrono_csv:
        return read_racechrono_header(lines);
    default:
        refuse(LX_ERR_FORMAT, lines.path() + ": not an AiM, RaceChrono or MoTeC CSV export");
    }
}

Session* import(const char* path, FileFormat format, const ImportOptions& options) {
    CsvLines lines;
    if (!lines.open(path)) refuse(LX_ERR_FILE, std::string(path) + ": cannot open the file");
    lines.read_as_csv();
    Layout layout = read_header(lines, format);
    complete_layout(layout, lines, options);
    SamplePlan plan = plan_samples(lines, layout, options);
    plan.truncated = lines.cut_line() != 0;

    SessionPointer s(new_session());
    if (!s) refuse(LX_ERR_MEMORY, std::string(path) + ": out of memory");
    copy_text(s->filename, path);
    s->record = new SessionRecord;
    Channels channels = add_channels(*s, *s->record, layout);
    allocate_laps(*s, plan);
    fill_samples(lines, layout, plan, *s, channels.store, channels.east, channels.north);
    set_lap_times(*s, plan);
    fill_record(*s, *s->record, layout, plan);
    if (plan.truncated) s->record->notes.push_back(cut_row_note(lines.cut_line()));
    return s.release();
}

} // namespace

ImportResult import_csv(const char* path, FileFormat format, const ImportOptions& options) {
    return run_import(path, [&] { return import(path, format, options); });
}

} // namespace lx
