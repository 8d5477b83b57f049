#include "import/binary.h"

#include <algorithm>
#include <climits>
#include <cmath>

#include "base/utf8.h"
#include "import/csv_lines.h"
#include "import/text.h"
#include "lx_data.h"

namespace lx {

namespace {

constexpr double LINE_SLACK = 0.0005; // seconds: a lap line this close before a sample starts it
constexpr long MAX_LAP_SAMPLES = INT_MAX / long(sizeof(float));
constexpr double METRES_PER_SECOND_PER_KMH = 1.0 / 3.6;

bool seek(std::FILE* file, std::uint64_t offset) {
#ifdef _WIN32
    return _fseeki64(file, static_cast<long long>(offset), SEEK_SET) == 0;
#else
    return fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0;
#endif
}

void keep_defaults(Layout& layout, std::span<const char* const> defaults) {
    for (Column& c : layout.columns) {
        bool named = false;
        for (const char* name : defaults) named = named || match_key(c.title) == match_key(name);
        c.keep = c.keep && named;
    }
}

void refuse_channel_count(const Layout& layout, const std::string& path, int count) {
    refuse(LX_ERR_LIMIT, path + ": " + std::to_string(count) +
                             " channels with Time, Distance and the position; a session holds " +
                             std::to_string(MAX_FILE_CHANNELS) +
                             ": pick some with --channels NAME,NAME,... (the file has " +
                             title_list(layout, true) + ")");
}

void take_window(std::vector<GridLap>& laps, const std::string& path,
                 const ImportOptions& options) {
    int n = int(laps.size());
    if (options.first_lap != 0 || options.last_lap != 0) {
        int first = options.first_lap == 0 ? 1 : options.first_lap;
        int last = options.last_lap == 0 ? n : options.last_lap;
        if (first < 1 || last < first || last > n)
            refuse(LX_ERR_ARGUMENT,
                   path + ": " + lap_window_refusal(options.first_lap, options.last_lap, n));
        laps = std::vector<GridLap>(laps.begin() + first - 1, laps.begin() + last);
    }
    if (int(laps.size()) > MAX_LAPS - 1)
        refuse(LX_ERR_LIMIT, path + ": " + std::to_string(laps.size()) + " laps; a session holds " +
                                 std::to_string(MAX_LAPS - 1) +
                                 ": take a window with --laps FIRST-LAST");
    for (const GridLap& lap : laps)
        if (lap.count > MAX_LAP_SAMPLES)
            refuse(LX_ERR_LIMIT, path + ": lap " + std::to_string(lap.number) + " has " +
                                     std::to_string(lap.count) + " samples, more than a lap holds");
}

} // namespace

BinaryFile::BinaryFile(const std::string& path) : path_(path) {
    file_ = std::fopen(path.c_str(), "rb");
    if (file_ == nullptr) refuse(LX_ERR_FILE, path + ": cannot open the file");
    size_ = file_size(file_);
}

BinaryFile::~BinaryFile() {
    if (file_) std::fclose(file_);
}

void BinaryFile::read(std::uint64_t offset, std::size_t bytes, void* dest,
                      const std::string& what) const {
    if (!holds(offset, bytes))
        refuse_at(offset, what + " (" + std::to_string(bytes) +
                              " bytes) runs past the end of the file (" + std::to_string(size_) +
                              " bytes)");
    if (bytes == 0) return;
    if (!seek(file_, offset) || std::fread(dest, 1, bytes, file_) != bytes)
        refuse(LX_ERR_FILE, path_ + ": byte " + std::to_string(offset) + ": cannot read " + what);
}

std::vector<unsigned char> BinaryFile::read(std::uint64_t offset, std::size_t bytes,
                                            const std::string& what) const {
    if (!holds(offset, bytes)) read(offset, bytes, nullptr, what); // refuses
    std::vector<unsigned char> data(bytes);
    read(offset, bytes, data.data(), what);
    return data;
}

void BinaryFile::refuse_at(std::uint64_t offset, const std::string& cause) const {
    refuse(LX_ERR_FORMAT, path_ + ": byte " + std::to_string(offset) + ": " + cause);
}

std::uint64_t file_size(std::FILE* file) {
#ifdef _WIN32
    if (_fseeki64(file, 0, SEEK_END) != 0) return 0;
    long long size = _ftelli64(file);
#else
    if (fseeko(file, 0, SEEK_END) != 0) return 0;
    long long size = ftello(file);
#endif
    return size < 0 ? 0 : std::uint64_t(size);
}

std::string printable(const std::string& text) {
    std::string out = text;
    for (char& c : out)
        if (static_cast<unsigned char>(c) < ' ' || c == 0x7f) c = '?';
    return out;
}

std::string fixed_text(const unsigned char* bytes, std::size_t size) {
    std::size_t n = 0;
    while (n < size && bytes[n] != 0) ++n;
    while (n > 0 && bytes[n - 1] == ' ') --n;
    return printable(to_utf8(std::string_view(reinterpret_cast<const char*>(bytes), n)));
}

void plan_laps(Grid& grid, const std::vector<double>& lines,
               const std::vector<long long>& logger_ms, const std::string& path,
               const ImportOptions& options) {
    auto logger = [&](std::size_t k) { return k < logger_ms.size() ? logger_ms[k] : -1LL; };
    std::vector<GridLap> laps(1);
    laps[0].number = 1;
    laps[0].logger_ms = logger(0);
    for (std::size_t k = 0; k < lines.size(); ++k) {
        double g = std::ceil((lines[k] - LINE_SLACK) * grid.rate);
        if (!(g < double(grid.samples))) break;
        GridLap lap;
        lap.first = std::max(long(g), 0L);
        lap.number = int(k) + 2;
        lap.logger_ms = logger(k + 1);
        if (lap.first <= laps.back().first) laps.pop_back();
        if (laps.empty() || lap.first > laps.back().first) laps.push_back(lap);
    }
    for (std::size_t k = 0; k < laps.size(); ++k)
        laps[k].count = (k + 1 < laps.size() ? laps[k + 1].first : grid.samples) - laps[k].first;
    take_window(laps, path, options);
    grid.laps = std::move(laps);
}

void choose_columns(Layout& layout, const std::string& path, const ImportOptions& options,
                    std::span<const char* const> defaults, std::string& notes) {
    for (Column& c : layout.columns) convert_units(c);
    layout.latitude = first_column(layout, {"latitude", "gpslatitude", "lat"});
    layout.longitude = first_column(layout, {"longitude", "gpslongitude", "lon", "lng"});
    int speed = first_column(layout, {"gpsspeed", "speed", "groundspeed", "vehiclespeed"});
    std::string unit = speed == NONE ? "" : match_key(layout.columns[speed].unit);
    if (unit == "km/h" || unit == "kph") {
        layout.speed = speed;
        layout.speed_to_metres_per_second = METRES_PER_SECOND_PER_KMH;
    }
    choose_channels(layout, path, options.channels);
    int count = session_channel_count(layout);
    if (count <= MAX_FILE_CHANNELS) return;
    if (defaults.empty() || !options.channels.empty()) refuse_channel_count(layout, path, count);
    keep_defaults(layout, defaults);
    notes += std::to_string(count) + " channels are more than a session holds (" +
             std::to_string(MAX_FILE_CHANNELS) + "): kept the default set (" +
             title_list(layout, true) + "); pick others with --channels. ";
}

GridSession start_grid_session(const std::string& path, const Layout& layout, const Grid& grid,
                               const char* format) {
    GridSession built;
    built.session.reset(new_session());
    Session* s = built.session.get();
    if (s == nullptr) refuse(LX_ERR_MEMORY, path + ": out of memory");
    copy_text(s->filename, path.c_str());
    s->record = new SessionRecord;
    SessionRecord& record = *s->record;
    record.format = format;
    ChannelNamer namer;
    add_titled(*s, record, namer, "Sample", "");
    add_titled(*s, record, namer, "Time", "s");
    add_titled(*s, record, namer, "Distance", "m");
    for (const Column& c : layout.columns)
        built.store.push_back(c.keep ? add_titled(*s, record, namer, c.title, c.unit) : -1);
    if (layout.latitude != NONE && layout.longitude != NONE) {
        built.east = add_titled(*s, record, namer, "East", "m");
        built.north = add_titled(*s, record, namer, "North", "m");
    }
    s->nfile_channels = s->nchannels;
    std::size_t floats = 0;
    for (const GridLap& lap : grid.laps) floats += padded(lap.count) * std::size_t(s->nchannels);
    float* next = alloc_samples(s, floats);
    if (next == nullptr) refuse(LX_ERR_MEMORY, path + ": out of memory");
    s->nlaps = int(grid.laps.size());
    for (int l = 0; l < s->nlaps; ++l) {
        Lap& lap = s->laps[l];
        lap.npoints = int(grid.laps[l].count);
        lap.number = grid.laps[l].number;
        for (int c = 0; c < s->nchannels; ++c, next += padded(lap.npoints)) lap.raw[c] = next;
        record.logger_ms.push_back(grid.laps[l].logger_ms);
    }
    return built;
}

void finish_grid_session(Session& s, const Layout& layout, const Grid& grid) {
    float index = 0.0f;
    double step = 1.0 / grid.rate;
    for (int l = 0; l < s.nlaps; ++l) {
        Lap& lap = s.laps[l];
        float* distance = lap.raw[2];
        double travelled = 0, speed_before = 0;
        for (long j = 0; j < lap.npoints; ++j) {
            lap.raw[0][j] = index;
            index += 1.0f;
            lap.raw[1][j] = static_cast<float>(double(j) * step);
            double speed = layout.speed == NONE ? 0.0 : double(distance[j]);
            if (j > 0) travelled += 0.5 * (speed_before + speed) * step;
            speed_before = speed;
            distance[j] = static_cast<float>(travelled);
        }
        lap.raw_laptime = static_cast<float>(double(lap.npoints) * step);
        // No line closes the recording's last lap: it ends at its last sample.
        double open_end = l + 1 == s.nlaps ? double(lap.npoints - 1) * step : lap.raw_laptime;
        long long ms = grid.laps[l].logger_ms;
        lap.laptime = static_cast<float>(ms >= 0 ? double(ms) / 1000.0 : open_end);
    }
    s.sample_rate = static_cast<float>(grid.rate);
}

} // namespace lx
