// A session as a MoTeC LD file. Channels keep the rate and scaling the record
// says their file stored them with; the others go as 32-bit floats at the
// session's rate. A session without lap channels gets them, so that its laps
// read back.
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "import/binary.h"
#include "import/import.h"
#include "import/ld_format.h"
#include "import/text.h"
#include "lx_data.h"

namespace lx {

namespace {

// Words of the header whose meaning is not known, as loggers write them.
struct KnownWord {
    std::size_t at;
    std::uint32_t value;
    int bytes;
};
constexpr KnownWord HEADER_WORDS[] = {{66, 0x4240, 2}, {68, 0xf, 2},        {84, 128, 2},
                                      {90, 65636, 4},  {1502, 13764642, 4}, {1508, 50, 2},
                                      {1644, 99, 1}};
constexpr std::uint16_t CHANNEL_COUNTER = 4;
constexpr int MAX_RATE = 65535;
constexpr std::size_t CHUNK_SAMPLES = 1 << 18;
constexpr int LAP_TIME_DECIMALS = 3; // lap channels in milliseconds

enum class Kind { channel, running_lap_time, lap_time, lap_number };

struct OutChannel {
    Kind kind = Kind::channel;
    int channel = 0; // in the session, for Kind::channel
    std::string name, unit;
    ChannelSource source;
    long count = 0;
    std::uint32_t data = 0;
    std::int32_t raw_max = INT32_MIN, raw_min = INT32_MAX;
};

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

struct Failure {
    int status;
    std::string message;
};

template <class T> void store(std::vector<unsigned char>& b, std::size_t at, T value) {
    std::memcpy(b.data() + at, &value, sizeof value);
}

void store_text(std::vector<unsigned char>& b, std::size_t at, std::size_t size,
                const std::string& text) {
    std::memcpy(b.data() + at, text.data(), std::min(size, text.size()));
}

std::string field(const SessionRecord* r, const char* name) {
    return r ? record_field(*r, name) : "";
}

long long logger_ms(const Session& s, int lap) {
    const SessionRecord* r = s.record;
    if (r && std::size_t(lap) < r->logger_ms.size() && r->logger_ms[std::size_t(lap)] >= 0)
        return r->logger_ms[std::size_t(lap)];
    return std::llround(double(s.laps[lap].laptime) * 1000.0);
}

double value_at(const Session& s, const OutChannel& c, int lap, long j) {
    switch (c.kind) {
    case Kind::channel:
        return s.laps[lap].raw[c.channel][j];
    case Kind::running_lap_time:
        return s.laps[lap].raw[1][j];
    case Kind::lap_time:
        return lap == 0 ? 0.0 : double(logger_ms(s, lap - 1)) / 1000.0;
    default:
        return lap;
    }
}

// The raw number a value is stored as: the reader's formula turned round.
double raw_of(const ChannelSource& src, double v) {
    if (src.mul == 0 || !std::isfinite(v)) return 0;
    return (v / src.mul - src.shift) * src.scale * std::pow(10.0, src.decimals);
}

void encode(OutChannel& c, double v, unsigned char* p) {
    const ChannelSource& src = c.source;
    double raw = raw_of(src, v);
    if (src.type == ld::FLOAT_TYPE) {
        if (src.size == 8)
            std::memcpy(p, &raw, 8);
        else {
            auto f = static_cast<float>(raw);
            std::memcpy(p, &f, 4);
        }
        return;
    }
    double low = src.size == 2 ? INT16_MIN : INT32_MIN,
           high = src.size == 2 ? INT16_MAX : INT32_MAX;
    auto n = static_cast<std::int32_t>(std::clamp(std::round(raw), low, high));
    c.raw_max = std::max(c.raw_max, n);
    c.raw_min = std::min(c.raw_min, n);
    if (src.size == 2) {
        auto h = static_cast<std::int16_t>(n);
        std::memcpy(p, &h, 2);
    } else {
        std::memcpy(p, &n, 4);
    }
}

bool is_position(const Session& s, int c) {
    const SessionRecord* r = s.record;
    if (r == nullptr || (r->origin_latitude == 0 && r->origin_longitude == 0)) return false;
    if (std::size_t(c) < r->sources.size() && r->sources[std::size_t(c)].rate > 0) return false;
    std::string name = s.channels[c].name;
    return name == "East" || name == "North";
}

OutChannel from_session(const Session& s, int c, int rate) {
    OutChannel out;
    out.channel = c;
    const SessionRecord* r = s.record;
    bool titled = r && std::size_t(c) < r->titles.size();
    out.name = titled ? r->titles[std::size_t(c)].title : s.channels[c].name;
    out.unit = titled ? r->titles[std::size_t(c)].unit : s.channels[c].unit;
    bool sourced = r && std::size_t(c) < r->sources.size() && r->sources[std::size_t(c)].rate > 0;
    if (sourced) out.source = r->sources[std::size_t(c)];
    // Half floats go as 32-bit floats.
    if (!sourced || (out.source.size == 2 && out.source.type == ld::FLOAT_TYPE))
        out.source = {sourced ? out.source.short_name : "", 0, ld::FLOAT_TYPE, 4, 0, 1, 1, 0};
    double own = out.source.rate;
    if (!(own > 0 && own <= rate && own == std::floor(own))) out.source.rate = rate;
    if (out.source.short_name.empty()) out.source.short_name = out.name.substr(0, 7);
    return out;
}

OutChannel lap_channel(Kind kind, const char* name, const char* unit, int rate) {
    OutChannel out;
    out.kind = kind;
    out.name = name;
    out.unit = unit;
    bool time = kind != Kind::lap_number;
    out.source = {std::string(name).substr(0, 7), double(rate), ld::INTEGER_TYPE, 4, 0, 1, 1,
                  time ? LAP_TIME_DECIMALS : 0};
    return out;
}

std::vector<OutChannel> channels_of(const Session& s, int rate) {
    std::vector<OutChannel> out;
    bool has_laps = false;
    for (int c = 3; c < s.nfile_channels; ++c) {
        if (is_position(s, c)) continue;
        out.push_back(from_session(s, c, rate));
        has_laps = has_laps || match_key(out.back().name) == "runninglaptime";
    }
    // The file's grid is its fastest channel's: one keeps the session's rate.
    double fastest = 0;
    for (const OutChannel& c : out) fastest = std::max(fastest, c.source.rate);
    if (!out.empty() && fastest < rate) out.front().source.rate = rate;
    if (!has_laps) {
        out.push_back(lap_channel(Kind::running_lap_time, "Running Lap Time", "s", rate));
        out.push_back(lap_channel(Kind::lap_time, "Lap Time", "s", rate));
        out.push_back(lap_channel(Kind::lap_number, "Lap Number", "", rate));
    }
    return out;
}

// The channel's samples at its own rate, taken from the grid where each begins.
void write_samples(std::FILE* f, const Session& s, OutChannel& c, int rate, long total) {
    auto own = long(c.source.rate);
    c.count = long((std::int64_t(total) * own + rate - 1) / rate);
    std::vector<unsigned char> bytes;
    int lap = 0;
    long lap_first = 0;
    for (long k = 0; k < c.count; k += long(CHUNK_SAMPLES)) {
        long n = std::min(c.count - k, long(CHUNK_SAMPLES));
        bytes.assign(std::size_t(n) * std::size_t(c.source.size), 0);
        for (long i = 0; i < n; ++i) {
            auto g = std::min(long((std::int64_t(k + i) * rate + own - 1) / own), total - 1);
            while (lap + 1 < s.nlaps && g >= lap_first + s.laps[lap].npoints)
                lap_first += s.laps[lap++].npoints;
            encode(c, value_at(s, c, lap, g - lap_first), bytes.data() + i * c.source.size);
        }
        if (std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size())
            throw Failure{LX_ERR_FILE, "writing failed"};
    }
    if (c.raw_max < c.raw_min) c.raw_max = c.raw_min = 0;
}

std::vector<unsigned char> header_block(const Session& s, std::uint32_t channels_at,
                                        std::uint32_t data_at, std::size_t count) {
    namespace hd = ld::head;
    const SessionRecord* r = s.record;
    std::vector<unsigned char> b(hd::SIZE + ld::event::SIZE + ld::venue::SIZE + ld::vehicle::SIZE);
    store(b, hd::MARKER, ld::MARKER);
    store(b, hd::CHANNELS_POINTER, channels_at);
    store(b, hd::DATA_POINTER, data_at);
    store(b, hd::EVENT_POINTER, std::uint32_t(hd::SIZE));
    for (const KnownWord& w : HEADER_WORDS)
        std::memcpy(b.data() + w.at, &w.value, std::size_t(w.bytes));
    store(b, hd::SERIAL,
          std::uint32_t(std::strtoul(field(r, "device serial").c_str(), nullptr, 10)));
    store_text(b, hd::DEVICE_TYPE, hd::DEVICE_TYPE_SIZE, field(r, "device type"));
    store(b, hd::VERSION,
          std::uint16_t(std::strtoul(field(r, "device version").c_str(), nullptr, 10)));
    store(b, hd::CHANNEL_COUNT, std::uint32_t(count));
    store_text(b, hd::DATE, hd::DATE_SIZE, r ? r->date : "");
    store_text(b, hd::TIME, hd::DATE_SIZE, r ? r->time : "");
    store_text(b, hd::DRIVER, hd::TEXT_SIZE, r ? r->driver : s.driver);
    store_text(b, hd::VEHICLE, hd::TEXT_SIZE, r ? r->vehicle : s.vehicle);
    store_text(b, hd::VENUE, hd::TEXT_SIZE, r ? r->venue : s.venue);
    store_text(b, hd::SHORT_COMMENT, hd::TEXT_SIZE, field(r, "short comment"));
    std::size_t event = hd::SIZE, venue = event + ld::event::SIZE,
                vehicle = venue + ld::venue::SIZE;
    store_text(b, event + ld::event::NAME, hd::TEXT_SIZE, field(r, "event"));
    store_text(b, event + ld::event::SESSION, hd::TEXT_SIZE, field(r, "session"));
    store_text(b, event + ld::event::COMMENT, ld::event::COMMENT_SIZE, field(r, "event comment"));
    store(b, event + ld::event::VENUE_POINTER, std::uint16_t(venue));
    std::string venue_name = field(r, "venue name");
    store_text(b, venue + ld::venue::NAME, hd::TEXT_SIZE,
               venue_name.empty() ? s.venue : venue_name);
    store(b, venue + ld::venue::VEHICLE_POINTER, std::uint16_t(vehicle));
    namespace ve = ld::vehicle;
    std::string id = field(r, "vehicle id");
    store_text(b, vehicle + ve::ID, hd::TEXT_SIZE, id.empty() ? s.vehicle : id);
    store_text(b, vehicle + ve::NAME, hd::TEXT_SIZE, field(r, "vehicle name"));
    store(b, vehicle + ve::WEIGHT,
          std::uint32_t(std::strtoul(field(r, "vehicle weight").c_str(), nullptr, 10)));
    store_text(b, vehicle + ve::TYPE, ve::SHORT_TEXT_SIZE, field(r, "vehicle type"));
    store_text(b, vehicle + ve::COMMENT, ve::SHORT_TEXT_SIZE, field(r, "vehicle comment"));
    return b;
}

std::vector<unsigned char> channel_blocks(const std::vector<OutChannel>& out, std::uint32_t first) {
    namespace ch = ld::channel;
    std::vector<unsigned char> b(out.size() * ch::SIZE);
    for (std::size_t i = 0; i < out.size(); ++i) {
        const OutChannel& c = out[i];
        std::size_t at = i * ch::SIZE;
        auto block = std::uint32_t(first + at);
        store(b, at + ch::PREVIOUS, std::uint32_t(i ? block - ch::SIZE : 0));
        store(b, at + ch::NEXT, std::uint32_t(i + 1 < out.size() ? block + ch::SIZE : 0));
        store(b, at + ch::DATA, c.data);
        store(b, at + ch::COUNT, std::uint32_t(c.count));
        store(b, at + ch::COUNTER, CHANNEL_COUNTER);
        store(b, at + ch::TYPE, std::uint16_t(c.source.type));
        store(b, at + ch::SAMPLE_SIZE, std::uint16_t(c.source.size));
        store(b, at + ch::RATE, std::uint16_t(c.source.rate));
        store(b, at + ch::SHIFT, std::int16_t(c.source.shift));
        store(b, at + ch::MUL, std::int16_t(c.source.mul));
        store(b, at + ch::SCALE, std::int16_t(c.source.scale));
        store(b, at + ch::DECIMALS, std::int16_t(c.source.decimals));
        store_text(b, at + ch::NAME, ch::NAME_SIZE, c.name);
        store_text(b, at + ch::SHORT_NAME, ch::SHORT_NAME_SIZE, c.source.short_name);
        store_text(b, at + ch::UNIT, ch::UNIT_SIZE, c.unit);
        store(b, at + ch::RAW_MAX, c.raw_max);
        store(b, at + ch::RAW_MIN, c.raw_min);
    }
    return b;
}

void write_block(std::FILE* f, long long at, const std::vector<unsigned char>& b) {
    if (std::fseek(f, long(at), SEEK_SET) != 0) throw Failure{LX_ERR_FILE, "writing failed"};
    // An empty block only places the file; its data may be null, which fwrite must not get.
    if (!b.empty() && std::fwrite(b.data(), 1, b.size(), f) != b.size())
        throw Failure{LX_ERR_FILE, "writing failed"};
}

void write(const Session& s, const char* path) {
    if (s.nfile_channels < 3 || s.nlaps < 1 || std::strcmp(s.channels[1].name, "Time") != 0)
        throw Failure{LX_ERR_STATE, "the session's channel 1 is not Time"};
    long total = 0;
    for (int l = 0; l < s.nlaps; ++l) total += s.laps[l].npoints;
    int rate = int(std::clamp(std::lround(double(s.sample_rate)), 1L, long(MAX_RATE)));
    std::vector<OutChannel> out = channels_of(s, rate);
    std::size_t head = ld::head::SIZE + ld::event::SIZE + ld::venue::SIZE + ld::vehicle::SIZE;
    auto channels_at = std::uint32_t(head);
    std::uint64_t data_at = head + out.size() * ld::channel::SIZE, at = data_at;
    for (OutChannel& c : out) {
        long count = long((std::int64_t(total) * long(c.source.rate) + rate - 1) / rate);
        c.data = std::uint32_t(at);
        at += std::uint64_t(count) * std::uint64_t(c.source.size);
    }
    if (at > UINT32_MAX) throw Failure{LX_ERR_LIMIT, "more than 4 GB of samples"};
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path, "wb"));
    if (!file) throw Failure{LX_ERR_FILE, "cannot be written"};
    write_block(file.get(), long(data_at), {});
    for (OutChannel& c : out) write_samples(file.get(), s, c, rate, total);
    write_block(file.get(), 0, header_block(s, channels_at, std::uint32_t(data_at), out.size()));
    write_block(file.get(), channels_at, channel_blocks(out, channels_at));
    if (std::fclose(file.release()) != 0) throw Failure{LX_ERR_FILE, "writing failed"};
}

} // namespace

int write_ld(const Session& s, const char* path, std::string& message) {
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
