// MoTeC LD: a header, event, venue and vehicle blocks, a linked list of
// channel blocks and each channel's samples at its own rate. Every channel
// goes onto one grid at the highest rate, each sample held until the next.
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <new>
#include <set>

#include "base/utf8.h"
#include "import/binary.h"
#include "import/csv_lines.h"
#include "import/import.h"
#include "import/ld_format.h"
#include "import/projection.h"
#include "import/text.h"
#include "lx_data.h"

namespace lx {

namespace {

constexpr std::size_t CHUNK_SAMPLES = 1 << 14;     // a piece's bytes and values stay in cache
constexpr std::uint64_t GRID_FLOATS_PER_BYTE = 32; // a grid no larger than this per file byte
constexpr std::uint64_t GRID_FLOATS_SLACK = 1 << 20;
constexpr int MAX_DECIMALS = 30;

struct LdChannel {
    std::uint64_t block = 0, data = 0;
    long count = 0;   // samples in the file
    long written = 0; // samples the block counts: more than count in a file cut short
    int type = 0, size = 0, rate = 0, shift = 0, mul = 1, scale = 1, decimals = 0;
    std::string name, short_name, unit;
    double factor = 1; // mul / scale / 10^decimals
};

std::string quoted(const std::string& name) {
    return "channel \"" + name + "\"";
}

bool known_type(int type, int size) {
    if (type == ld::FLOAT_TYPE) return size == 2 || size == 4 || size == 8;
    return (type == 0 || type == 3 || type == 5) && (size == 2 || size == 4);
}

double half_to_double(std::uint16_t h) {
    int exponent = (h >> 10) & 0x1f, mantissa = h & 0x3ff;
    double sign = (h & 0x8000) ? -1.0 : 1.0;
    if (exponent == 0) return sign * std::ldexp(mantissa, -24);
    if (exponent == 31) return mantissa ? std::nan("") : sign * HUGE_VAL;
    return sign * std::ldexp(mantissa + 1024, exponent - 25);
}

double raw_value(const LdChannel& c, const unsigned char* p) {
    if (c.type == ld::FLOAT_TYPE) {
        if (c.size == 2) return half_to_double(load<std::uint16_t>(p));
        if (c.size == 4) return load<float>(p);
        return load<double>(p);
    }
    return c.size == 2 ? double(load<std::int16_t>(p)) : double(load<std::int32_t>(p));
}

double value_of(const LdChannel& c, const unsigned char* p) {
    return raw_value(c, p) * c.factor + double(c.shift) * double(c.mul);
}

LdChannel read_channel(const BinaryFile& file, std::uint64_t block) {
    unsigned char b[ld::channel::SIZE];
    file.read(block, sizeof b, b, "a channel block");
    namespace ch = ld::channel;
    LdChannel c;
    c.block = block;
    c.data = load<std::uint32_t>(b + ch::DATA);
    c.count = long(load<std::uint32_t>(b + ch::COUNT));
    c.type = load<std::uint16_t>(b + ch::TYPE);
    c.size = load<std::uint16_t>(b + ch::SAMPLE_SIZE);
    c.rate = load<std::uint16_t>(b + ch::RATE);
    c.shift = load<std::int16_t>(b + ch::SHIFT);
    c.mul = load<std::int16_t>(b + ch::MUL);
    c.scale = load<std::int16_t>(b + ch::SCALE);
    c.decimals = load<std::int16_t>(b + ch::DECIMALS);
    c.name = fixed_text(b + ch::NAME, ch::NAME_SIZE);
    c.short_name = fixed_text(b + ch::SHORT_NAME, ch::SHORT_NAME_SIZE);
    c.unit = fixed_text(b + ch::UNIT, ch::UNIT_SIZE);
    if (!known_type(c.type, c.size))
        file.refuse_at(block + ch::TYPE, quoted(c.name) + " has type code " +
                                             std::to_string(c.type) + " of " +
                                             std::to_string(c.size) + " bytes, none lx reads");
    if (c.rate == 0) file.refuse_at(block + ch::RATE, quoted(c.name) + " has a rate of 0 Hz");
    if (c.scale == 0) file.refuse_at(block + ch::SCALE, quoted(c.name) + " has a scale of 0");
    if (std::abs(c.decimals) > MAX_DECIMALS)
        file.refuse_at(block + ch::DECIMALS,
                       quoted(c.name) + " has " + std::to_string(c.decimals) + " decimal places");
    // Samples past the end of a file cut short: the whole ones are read.
    std::uint64_t bytes = std::uint64_t(c.count) * std::uint64_t(c.size);
    if (!within_cut_file(c.data, bytes, file.size()))
        file.refuse_at(block + ch::DATA, quoted(c.name) + ": " + std::to_string(c.count) +
                                             " samples from byte " + std::to_string(c.data) +
                                             " run far past the end of the file (" +
                                             std::to_string(file.size()) + " bytes)");
    c.written = c.count;
    if (!file.holds(c.data, bytes))
        c.count = c.data >= file.size() ? 0 : long((file.size() - c.data) / std::uint64_t(c.size));
    c.factor = double(c.mul) / double(c.scale) * std::pow(10.0, -c.decimals);
    return c;
}

// The list from its first block, refused when it loops or leaves the file.
std::vector<LdChannel> read_channel_list(const BinaryFile& file, std::uint64_t first) {
    std::vector<LdChannel> channels;
    std::set<std::uint64_t> seen;
    std::uint64_t block = first, from = ld::head::CHANNELS_POINTER;
    while (block != 0) {
        if (!seen.insert(block).second)
            file.refuse_at(from, "the channel list runs back to the block at byte " +
                                     std::to_string(block));
        if (!file.holds(block, ld::channel::SIZE))
            file.refuse_at(from, "the channel list points to byte " + std::to_string(block) +
                                     ", outside the file (" + std::to_string(file.size()) +
                                     " bytes)");
        channels.push_back(read_channel(file, block));
        unsigned char next[4];
        file.read(block + ld::channel::NEXT, 4, next, "the next channel's place");
        from = block + ld::channel::NEXT;
        block = load<std::uint32_t>(next);
    }
    if (channels.empty()) file.refuse_at(ld::head::CHANNELS_POINTER, "the file has no channels");
    return channels;
}

// n values from p times factor, the type chosen once for them all: as
// value_of gives them, then scaled.
template <class Raw, class Out>
void decode_as(const LdChannel& c, const unsigned char* p, long n, double factor, Out* out) {
    double shift = double(c.shift) * double(c.mul);
    for (long i = 0; i < n; ++i)
        out[i] = static_cast<Out>(
            (double(load<Raw>(p + i * long(sizeof(Raw)))) * c.factor + shift) * factor);
}

template <class Out>
void decode(const LdChannel& c, const unsigned char* p, long n, double factor, Out* out) {
    if (c.type == ld::FLOAT_TYPE && c.size == 4) return decode_as<float>(c, p, n, factor, out);
    if (c.type == ld::FLOAT_TYPE && c.size == 8) return decode_as<double>(c, p, n, factor, out);
    if (c.type != ld::FLOAT_TYPE && c.size == 2)
        return decode_as<std::int16_t>(c, p, n, factor, out);
    if (c.type != ld::FLOAT_TYPE && c.size == 4)
        return decode_as<std::int32_t>(c, p, n, factor, out);
    for (long i = 0; i < n; ++i) // half floats
        out[i] = static_cast<Out>(value_of(c, p + i * c.size) * factor);
}

// A piece of a channel's samples as read and as values; kept from one
// channel to the next, so that its memory is cleared once.
struct Chunk {
    std::vector<unsigned char> bytes;
    std::vector<double> values;
};

// A channel's samples in order as written, a piece at a time: visit(first, bytes, n).
template <class Visit>
void each_raw_chunk(const BinaryFile& file, const LdChannel& c, Chunk& chunk, Visit visit) {
    std::vector<unsigned char>& bytes = chunk.bytes;
    for (long k = 0; k < c.count; k += long(CHUNK_SAMPLES)) {
        long n = std::min(c.count - k, long(CHUNK_SAMPLES));
        bytes.resize(std::size_t(n) * std::size_t(c.size));
        file.read(c.data + std::uint64_t(k) * std::uint64_t(c.size), bytes.size(), bytes.data(),
                  "the samples of " + quoted(c.name));
        visit(k, bytes.data(), n);
    }
}

// A channel's samples in order, a piece at a time: visit(first, values, n).
template <class Visit>
void each_chunk(const BinaryFile& file, const LdChannel& c, Chunk& chunk, Visit visit) {
    each_raw_chunk(file, c, chunk, [&](long k, const unsigned char* bytes, long n) {
        chunk.values.resize(std::size_t(n));
        decode(c, bytes, n, 1.0, chunk.values.data());
        visit(k, chunk.values.data(), n);
    });
}

// Every sample of a channel in order.
template <class Visit>
void each_sample(const BinaryFile& file, const LdChannel& c, Chunk& chunk, Visit visit) {
    each_chunk(file, c, chunk, [&](long k, const double* values, long n) {
        for (long i = 0; i < n; ++i) visit(k + i, values[i]);
    });
}

std::vector<double> all_samples(const BinaryFile& file, const LdChannel& c) {
    std::vector<double> values(std::size_t(c.count));
    Chunk chunk;
    each_sample(file, c, chunk, [&](long k, double v) { values[std::size_t(k)] = v; });
    return values;
}

// First grid sample at or after sample k of a channel: ceil(k * grid / rate).
long grid_sample(long k, int rate, int grid_rate) {
    return long((std::int64_t(k) * grid_rate + rate - 1) / rate);
}

struct LapLines {
    std::vector<double> lines;
    std::vector<long long> logger_ms;
};

const LdChannel* find(const std::vector<LdChannel>& channels, const char* key) {
    for (const LdChannel& c : channels)
        if (match_key(c.name) == key) return &c;
    return nullptr;
}

// The lap line is the sample time minus Running Lap Time at its first
// sample after each restart (or its start from 0, at the first line); the logger's lap time is Lap
// Time where Lap Number (else Lap Time) next changes after the lap's closing line.
LapLines lap_lines(const BinaryFile& file, const std::vector<LdChannel>& channels) {
    LapLines laps;
    const LdChannel* running = find(channels, "runninglaptime");
    if (running == nullptr) return laps;
    std::vector<double> run = all_samples(file, *running);
    for (std::size_t k = 1; k < run.size(); ++k) {
        double line = double(k) / running->rate - run[k];
        bool restarted = run[k] < run[k - 1] || (run[k - 1] == 0 && run[k] > 0);
        // A line at the first sample starts no new lap.
        if (restarted && line > 0 && (laps.lines.empty() || line > laps.lines.back()))
            laps.lines.push_back(line);
    }
    const LdChannel* lap_time = find(channels, "laptime");
    if (lap_time == nullptr) return laps;
    const LdChannel* number = find(channels, "lapnumber");
    const LdChannel* marker = number ? number : lap_time;
    std::vector<double> times = all_samples(file, *lap_time);
    if (times.empty()) return laps; // cut before its first sample
    std::vector<double> marks = number ? all_samples(file, *number) : times;
    std::size_t k = 1; // the lines come in order: one walk over the marks
    for (std::size_t l = 0; l < laps.lines.size(); ++l) {
        double until = l + 1 < laps.lines.size() ? laps.lines[l + 1] : HUGE_VAL;
        long long ms = -1;
        for (; k < marks.size() && ms < 0; ++k) {
            double t = double(k) / marker->rate;
            if (t >= until) break;
            if (t < laps.lines[l] || marks[k] == marks[k - 1]) continue;
            // k * rate first: exact, so equal rates give k, never k - 1.
            double place = std::floor(double(k) * lap_time->rate / marker->rate);
            auto at = std::size_t(std::min(place, double(times.size() - 1)));
            if (std::isfinite(times[at]) && times[at] > 0) ms = std::llround(times[at] * 1000.0);
        }
        laps.logger_ms.push_back(ms);
    }
    return laps;
}

struct Header {
    std::uint64_t channels = 0, event = 0;
    std::vector<std::pair<std::string, std::string>> fields;
    std::string date, time, driver, vehicle, venue;
};

std::string text_at(const std::vector<unsigned char>& b, std::size_t at, std::size_t size) {
    return fixed_text(b.data() + at, size);
}

// Event, venue and vehicle: each read when its pointer lies inside the file.
void read_event(const BinaryFile& file, Header& h) {
    namespace ev = ld::event;
    if (h.event == 0 || !file.holds(h.event, ev::SIZE)) return;
    std::vector<unsigned char> e = file.read(h.event, ev::SIZE, "the event block");
    h.fields.push_back({"event", text_at(e, ev::NAME, ld::head::TEXT_SIZE)});
    h.fields.push_back({"session", text_at(e, ev::SESSION, ld::head::TEXT_SIZE)});
    h.fields.push_back({"event comment", text_at(e, ev::COMMENT, ev::COMMENT_SIZE)});
    std::uint64_t at = load<std::uint16_t>(e.data() + ev::VENUE_POINTER);
    if (at == 0 || !file.holds(at, ld::venue::SIZE)) return;
    std::vector<unsigned char> v = file.read(at, ld::venue::SIZE, "the venue block");
    h.fields.push_back({"venue name", text_at(v, ld::venue::NAME, ld::head::TEXT_SIZE)});
    at = load<std::uint16_t>(v.data() + ld::venue::VEHICLE_POINTER);
    namespace ve = ld::vehicle;
    if (at == 0 || !file.holds(at, ve::SIZE)) return;
    std::vector<unsigned char> c = file.read(at, ve::SIZE, "the vehicle block");
    h.fields.push_back({"vehicle id", text_at(c, ve::ID, ld::head::TEXT_SIZE)});
    h.fields.push_back({"vehicle name", text_at(c, ve::NAME, ld::head::TEXT_SIZE)});
    h.fields.push_back(
        {"vehicle weight", std::to_string(load<std::uint32_t>(c.data() + ve::WEIGHT))});
    h.fields.push_back({"vehicle type", text_at(c, ve::TYPE, ve::SHORT_TEXT_SIZE)});
    h.fields.push_back({"vehicle comment", text_at(c, ve::COMMENT, ve::SHORT_TEXT_SIZE)});
}

Header read_header(const BinaryFile& file) {
    namespace hd = ld::head;
    if (file.size() < hd::SIZE)
        file.refuse_at(0, "a header of " + std::to_string(hd::SIZE) + " bytes does not fit in " +
                              std::to_string(file.size()));
    std::vector<unsigned char> b = file.read(0, hd::SIZE, "the header");
    if (load<std::uint32_t>(b.data()) != ld::MARKER) file.refuse_at(0, "no LD marker");
    Header h;
    h.channels = load<std::uint32_t>(b.data() + hd::CHANNELS_POINTER);
    h.event = load<std::uint32_t>(b.data() + hd::EVENT_POINTER);
    h.date = text_at(b, hd::DATE, hd::DATE_SIZE);
    h.time = text_at(b, hd::TIME, hd::DATE_SIZE);
    h.driver = text_at(b, hd::DRIVER, hd::TEXT_SIZE);
    h.vehicle = text_at(b, hd::VEHICLE, hd::TEXT_SIZE);
    h.venue = text_at(b, hd::VENUE, hd::TEXT_SIZE);
    h.fields = {{"device serial", std::to_string(load<std::uint32_t>(b.data() + hd::SERIAL))},
                {"device type", text_at(b, hd::DEVICE_TYPE, hd::DEVICE_TYPE_SIZE)},
                {"device version", std::to_string(load<std::uint16_t>(b.data() + hd::VERSION))},
                {"short comment", text_at(b, hd::SHORT_COMMENT, hd::TEXT_SIZE)}};
    read_event(file, h);
    return h;
}

bool cut_short(const LdChannel& c) {
    return c.count < c.written;
}

// The grid ends where the first channel the file ends inside of runs out.
Grid plan_grid(const BinaryFile& file, const std::vector<LdChannel>& channels) {
    Grid grid;
    int rate = 0;
    for (const LdChannel& c : channels) rate = std::max(rate, c.rate);
    long samples = 0, cut_end = LONG_MAX;
    for (const LdChannel& c : channels) {
        samples = std::max(samples, grid_sample(c.count, c.rate, rate));
        if (cut_short(c) && c.count > 0)
            cut_end = std::min(cut_end, grid_sample(c.count, c.rate, rate));
    }
    samples = std::min(samples, cut_end);
    std::uint64_t floats = std::uint64_t(samples) * channels.size();
    if (floats > GRID_FLOATS_PER_BYTE * file.size() + GRID_FLOATS_SLACK)
        refuse(LX_ERR_LIMIT, file.path() + ": " + std::to_string(samples) + " samples at " +
                                 std::to_string(rate) +
                                 " Hz for a file of this size: its channels' rates or lengths "
                                 "differ too much");
    if (samples == 0) file.refuse_at(ld::head::CHANNELS_POINTER, "no channel has a sample");
    grid.rate = rate;
    grid.samples = samples;
    return grid;
}

Layout layout_of(const std::vector<LdChannel>& channels) {
    Layout layout;
    layout.format = FileFormat::ld;
    for (const LdChannel& c : channels) {
        Column column;
        column.title = c.name;
        column.unit = c.unit;
        layout.columns.push_back(column);
    }
    return layout;
}

// Each sample held on the grid until the channel's next one, the last to the end.
class Spreader {
  public:
    Spreader(Session& s, const Grid& grid) : s_(s), grid_(grid) {}
    // Writes channel store (scaled by factor) from the channel's samples.
    void spread(const BinaryFile& file, const LdChannel& c, int store, double factor) {
        GridCursor cursor(s_, grid_);
        int rate = int(grid_.rate);
        double last = 0;
        long next = 0; // the next grid sample to write
        auto fill_to = [&](long end, double v) {
            auto value = static_cast<float>(v * factor);
            for (end = std::min(end, grid_.end()); next < end; ++next)
                if (float* slot = cursor.at(next, store)) *slot = value;
        };
        if (c.rate == rate) {
            // Sample k is grid sample k: whole runs copied into each lap.
            each_raw_chunk(file, c, chunk_, [&](long k, const unsigned char* bytes, long n) {
                copy_run(cursor, c, store, factor, k, bytes, n);
                last = value_of(c, bytes + (n - 1) * c.size);
                next = std::min(k + n, grid_.end());
            });
        } else {
            each_sample(file, c, chunk_, [&](long k, double v) {
                fill_to(grid_sample(k + 1, c.rate, rate), v);
                last = v;
            });
        }
        fill_to(grid_.end(), last);
    }

  private:
    // Grid samples [k, k + n) from the samples written in bytes, lap by lap.
    void copy_run(GridCursor& cursor, const LdChannel& c, int store, double factor, long k,
                  const unsigned char* bytes, long n) {
        long g = std::max(k, grid_.begin()), end = std::min(k + n, grid_.end());
        while (g < end) {
            float* slot = cursor.at(g, store);
            const GridLap& lap = grid_.laps[std::size_t(cursor.lap())];
            long stop = std::min(end, lap.first + lap.count);
            decode(c, bytes + (g - k) * c.size, stop - g, factor, slot);
            g = stop;
        }
    }

    Session& s_;
    const Grid& grid_;
    Chunk chunk_;
};

// East and North from the position channels, from the first fix on.
void spread_position(const BinaryFile& file, const LdChannel& lat, const LdChannel& lon,
                     GridSession& built, const Grid& grid, SessionRecord& record) {
    std::vector<double> la = all_samples(file, lat), lo = all_samples(file, lon);
    auto at = [&](const std::vector<double>& v, const LdChannel& c, long g) {
        std::size_t k = std::size_t(std::int64_t(g) * c.rate / std::int64_t(grid.rate));
        return v.empty() ? 0.0 : v[std::min(k, v.size() - 1)];
    };
    bool fixed = false;
    Projection p;
    GridCursor cursor(*built.session, grid);
    for (long g = grid.begin(); g < grid.end(); ++g) {
        double y = at(la, lat, g), x = at(lo, lon, g);
        bool valid = std::isfinite(y) && std::isfinite(x) && !(y == 0 && x == 0) &&
                     std::fabs(y) <= 90 && std::fabs(x) <= 180;
        if (!fixed && valid) {
            fixed = true;
            record.origin_latitude = y, record.origin_longitude = x;
            p = projection_at(y);
        }
        if (!fixed || !valid) continue;
        *cursor.at(g, built.east) =
            static_cast<float>((x - record.origin_longitude) * p.east_per_degree);
        *cursor.at(g, built.north) =
            static_cast<float>((y - record.origin_latitude) * p.north_per_degree);
    }
}

void fill_record(Session& s, const Header& h, const std::vector<LdChannel>& channels,
                 const std::vector<int>& store, std::string notes) {
    SessionRecord& r = *s.record;
    r.venue = h.venue, r.vehicle = h.vehicle, r.driver = h.driver, r.date = h.date, r.time = h.time;
    r.fields = h.fields;
    if (!notes.empty()) r.notes.push_back(std::move(notes));
    r.sources.resize(std::size_t(s.nchannels));
    for (std::size_t i = 0; i < channels.size(); ++i) {
        if (store[i] < 0) continue;
        const LdChannel& c = channels[i];
        r.sources[std::size_t(store[i])] = {c.short_name, double(c.rate), c.type,  c.size,
                                            c.shift,      c.mul,          c.scale, c.decimals};
    }
    copy_utf8(s.venue, sizeof s.venue, h.venue);
    copy_utf8(s.vehicle, sizeof s.vehicle, h.vehicle);
    copy_utf8(s.driver, sizeof s.driver, h.driver);
}

// A file cut short: where it ends, the channel it ends inside of, and the
// channels left with no sample, which are left out.
std::string cut_note(const BinaryFile& file, const std::vector<LdChannel>& channels,
                     const Grid& grid, Layout& layout) {
    std::string inside, lost;
    for (std::size_t i = 0; i < channels.size(); ++i) {
        const LdChannel& c = channels[i];
        if (!cut_short(c)) continue;
        if (c.count == 0) {
            lost += (lost.empty() ? "" : ", ") + c.name;
            layout.columns[i].keep = false;
        } else if (inside.empty()) {
            inside = ", inside the samples of " + quoted(c.name) + " (" + std::to_string(c.count) +
                     " of " + std::to_string(c.written) + ")";
        }
    }
    if (lost.empty() && inside.empty()) return "";
    char end[32];
    std::snprintf(end, sizeof end, "%.3f", double(grid.samples) / grid.rate);
    std::string note = "the file ends at byte " + std::to_string(file.size()) + inside +
                       ": the session ends at " + end + " s, its last whole sample";
    return lost.empty() ? note : note + "; left out, with no sample in the file: " + lost;
}

Session* import(const std::string& path, const ImportOptions& options) {
    BinaryFile file(path);
    Header header = read_header(file);
    std::vector<LdChannel> channels = read_channel_list(file, header.channels);
    Layout layout = layout_of(channels);
    std::string notes;
    choose_columns(layout, path, options, {}, notes);
    Grid grid = plan_grid(file, channels);
    std::string cut = cut_note(file, channels, grid, layout);
    LapLines laps = lap_lines(file, channels);
    plan_laps(grid, laps.lines, laps.logger_ms, path, options);
    GridSession built = start_grid_session(path, layout, grid, "MoTeC LD");
    Session& s = *built.session;
    Spreader spreader(s, grid);
    for (std::size_t i = 0; i < channels.size(); ++i) {
        if (built.store[i] >= 0) spreader.spread(file, channels[i], built.store[i], 1.0);
        if (int(i) == layout.speed)
            spreader.spread(file, channels[i], 2, layout.speed_to_metres_per_second);
    }
    if (built.east >= 0)
        spread_position(file, channels[std::size_t(layout.latitude)],
                        channels[std::size_t(layout.longitude)], built, grid, *s.record);
    finish_grid_session(s, layout, grid);
    fill_record(s, header, channels, built.store, notes);
    if (!cut.empty()) s.record->notes.push_back(cut);
    s.record->truncated = !cut.empty();
    return built.session.release();
}

} // namespace

bool looks_like_ld(const unsigned char* head, std::size_t n, std::uint64_t size) {
    namespace hd = ld::head;
    if (n < hd::SIZE || size < hd::SIZE || load<std::uint32_t>(head) != ld::MARKER) return false;
    std::uint64_t channels = load<std::uint32_t>(head + hd::CHANNELS_POINTER);
    std::uint64_t data = load<std::uint32_t>(head + hd::DATA_POINTER);
    std::uint64_t event = load<std::uint32_t>(head + hd::EVENT_POINTER);
    return channels >= hd::SIZE && channels + ld::channel::SIZE <= size && data <= size &&
           event <= size;
}

ImportResult import_ld(const char* path, const ImportOptions& options) {
    return run_import(path, [&] { return import(path, options); });
}

} // namespace lx
