// A whole session written as a MoTeC CSV file in the layout of the analysis
// program's data export: a header of "key","value" rows (beacons at each lap
// start, the lap times as segment times), names, units, then every sample.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "import/import.h"
#include "lx_data.h"
#include "session/record.h"

namespace lx {

namespace {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

struct Failure {
    int status;
    std::string message;
};

constexpr const char* EOL = "\r\n";

// A text as one quoted field: quotes doubled, line ends as blanks.
std::string quoted(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"') out += '"';
        out += c == '\r' || c == '\n' ? ' ' : c;
    }
    return out + "\"";
}

std::string number(const char* format, double value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

// "1:02.345", as segment times are written.
std::string lap_time_text(long long ms) {
    return std::to_string(ms / 60000) + ":" + number("%06.3f", double(ms % 60000) / 1000.0);
}

long long lap_ms(const Session& s, int lap) {
    const SessionRecord* r = s.record;
    if (r && std::size_t(lap) < r->logger_ms.size() && r->logger_ms[std::size_t(lap)] >= 0)
        return r->logger_ms[std::size_t(lap)];
    return std::llround(double(s.laps[lap].laptime) * 1000.0);
}

ChannelTitle title_of(const Session& s, int c) {
    const SessionRecord* r = s.record;
    if (r && std::size_t(c) < r->titles.size()) return r->titles[std::size_t(c)];
    return {s.channels[c].name, s.channels[c].unit};
}

// The file's own channels after Sample, Time and Distance; East and North
// that a reader made from positions are left out, as reading the file back
// makes them again.
std::vector<int> written_channels(const Session& s) {
    bool positions =
        s.record && (s.record->origin_latitude != 0 || s.record->origin_longitude != 0);
    std::vector<int> channels;
    for (int c = 3; c < s.nfile_channels; ++c) {
        std::string title = title_of(s, c).title;
        if (positions && (title == "East" || title == "North")) continue;
        channels.push_back(c);
    }
    return channels;
}

// Session seconds where each lap starts: each lap lasts its sample time.
std::vector<double> lap_starts(const Session& s) {
    std::vector<double> starts(std::size_t(s.nlaps), 0.0);
    for (int l = 1; l < s.nlaps; ++l)
        starts[std::size_t(l)] = starts[std::size_t(l - 1)] + double(s.laps[l - 1].raw_laptime);
    return starts;
}

void put(std::FILE* f, const std::string& line) {
    std::fputs(line.c_str(), f);
    std::fputs(EOL, f);
}

void write_header(std::FILE* f, const Session& s, const std::vector<double>& starts) {
    const SessionRecord* r = s.record;
    auto text = [&](const std::string& from_record, const char* fixed) {
        return quoted(r ? from_record : std::string(fixed));
    };
    const Lap& last = s.laps[s.nlaps - 1];
    double end = starts.back() + double(last.raw_laptime);
    std::string markers, segments;
    for (int l = 1; l < s.nlaps; ++l) markers += number("%.3f", starts[std::size_t(l)]) + " ";
    for (int l = 0; l < s.nlaps; ++l) segments += ",\"" + lap_time_text(lap_ms(s, l)) + "\"";
    put(f, "\"Format\",\"MoTeC CSV File\",,,\"Workbook\",\"\"");
    put(f, "\"Venue\"," + text(r ? r->venue : "", s.venue) + ",,,\"Worksheet\",\"\"");
    put(f, "\"Vehicle\"," + text(r ? r->vehicle : "", s.vehicle) + ",,,\"Vehicle Desc\",\"\"");
    put(f, "\"Driver\"," + text(r ? r->driver : "", s.driver) + ",,,\"Engine ID\",\"\"");
    put(f, "\"Device\"," + quoted(r ? r->logger : "") + ",,,\"Session\",\"\"");
    put(f, "\"Comment\",\"Exported by lx\"");
    put(f, "\"Log Date\"," + quoted(r ? r->date : "") + ",,,\"Origin Time\",\"0.000\",\"s\"");
    put(f, "\"Log Time\"," + quoted(r ? r->time : "") + ",,,\"Start Time\",\"0.000\",\"s\"");
    put(f, "\"Sample Rate\",\"" + number("%.3f", s.sample_rate) + "\",,,\"End Time\",\"" +
               number("%.3f", end) + "\",\"s\"");
    put(f, "\"Duration\",\"" + number("%.3f", end) + "\",\"s\"");
    put(f, "\"Range\",\"entire outing\"");
    put(f, "\"Beacon Markers\",\"" + markers + "\"");
    put(f, "\"Segment Times\"" + segments);
    put(f, "");
    put(f, "");
}

void write_titles(std::FILE* f, const Session& s, const std::vector<int>& channels) {
    std::string names = "\"Time\",\"Distance\"", units = "\"s\",\"m\"";
    for (int c : channels) {
        ChannelTitle t = title_of(s, c);
        names += "," + quoted(t.title);
        units += "," + quoted(t.unit);
    }
    put(f, names);
    put(f, units);
    put(f, "");
    put(f, "");
}

// Time to the microsecond, Distance along the session (whether the
// session's starts again each lap or not), every value in 9 digits, which
// read back to the same float.
void write_samples(std::FILE* f, const Session& s, const std::vector<int>& channels,
                   const std::vector<double>& starts) {
    double travelled = 0;
    std::string row;
    for (int l = 0; l < s.nlaps; ++l) {
        const Lap& lap = s.laps[l];
        if (lap.npoints == 0) continue;
        const float* distance = lap.raw[2];
        for (int j = 0; j < lap.npoints; ++j) {
            row = "\"" + number("%.6f", starts[std::size_t(l)] + double(lap.raw[1][j])) + "\",\"" +
                  number("%.3f", travelled + double(distance[j]) - double(distance[0])) + "\"";
            for (int c : channels) row += ",\"" + number("%.9g", double(lap.raw[c][j])) + "\"";
            put(f, row);
        }
        travelled += double(distance[lap.npoints - 1]) - double(distance[0]);
    }
}

void write(const Session& s, const char* path) {
    if (s.nfile_channels < 3 || s.nlaps < 1 || std::strcmp(s.channels[1].name, "Time") != 0)
        throw Failure{LX_ERR_STATE, "the session's channel 1 is not Time"};
    File file(std::fopen(path, "wb"));
    if (!file) throw Failure{LX_ERR_FILE, "cannot be written"};
    std::vector<double> starts = lap_starts(s);
    std::vector<int> channels = written_channels(s);
    write_header(file.get(), s, starts);
    write_titles(file.get(), s, channels);
    write_samples(file.get(), s, channels, starts);
    bool failed = std::ferror(file.get()) != 0;
    if (std::fclose(file.release()) != 0 || failed) throw Failure{LX_ERR_FILE, "writing failed"};
}

} // namespace

int write_motec_csv(const Session& s, const char* path, std::string& message) {
    try {
        write(s, path);
        return 0;
    } catch (const Failure& f) {
        message = std::string(path) + ": " + f.message;
        return f.status;
    } catch (const std::bad_alloc&) {
        message = std::string(path) + ": out of memory";
        return LX_ERR_MEMORY;
    }
}

} // namespace lx
