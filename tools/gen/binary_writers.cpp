// The two binary formats: MoTeC LD and iRacing telemetry, laid out as their
// public descriptions give them, little-endian.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "recording.h"

namespace lxgen {

namespace {

constexpr double STANDARD_GRAVITY = 9.80665;
constexpr double KMH_PER_MS = 3.6;
constexpr std::size_t TIME = 0, DISTANCE = 1;

class Bytes {
  public:
    explicit Bytes(std::size_t size) : b_(size, '\0') {}
    template <class T> void put(std::size_t at, T value) {
        grow(at + sizeof value);
        std::memcpy(&b_[at], &value, sizeof value);
    }
    void text(std::size_t at, std::size_t size, const std::string& t) {
        grow(at + size);
        std::memcpy(&b_[at], t.data(), std::min(size, t.size()));
    }
    std::size_t size() const { return b_.size(); }
    std::string take() { return std::move(b_); }

  private:
    void grow(std::size_t n) {
        if (b_.size() < n) b_.resize(n, '\0');
    }
    std::string b_;
};

std::size_t lap_of(const Recording& r, std::size_t row) {
    return std::size_t(std::upper_bound(r.lap_starts.begin(), r.lap_starts.end(), row) -
                       r.lap_starts.begin()) -
           1;
}

double lap_seconds(const Recording& r, std::size_t lap) {
    std::size_t end = lap + 1 < r.lap_starts.size() ? r.lap_starts[lap + 1] : r.rows();
    return double(end - r.lap_starts[lap]) / r.sample_rate;
}

// ---- MoTeC LD -------------------------------------------------------------

struct LdChannel {
    std::string name, unit;
    int type, size, rate, decimals;
    std::vector<double> values;
};

std::int64_t rounded(double v) {
    return std::int64_t(v < 0 ? v - 0.5 : v + 0.5);
}

// An IEEE half float of a value in its normal range, rounded to nearest.
std::uint16_t half_of(double v) {
    auto sign = std::uint16_t(v < 0 ? 0x8000 : 0);
    if (v == 0) return sign;
    int e;
    double m = std::frexp(std::fabs(v), &e); // |v| = m * 2^e, m in [0.5, 1)
    long exponent = e - 1 + 15, fraction = std::lround((m * 2 - 1) * 1024);
    if (fraction == 1024) fraction = 0, ++exponent;
    return std::uint16_t(sign | exponent << 10 | fraction);
}

void put_sample(Bytes& b, std::size_t at, const LdChannel& c, double v) {
    double raw = v;
    for (int d = 0; d < c.decimals; ++d) raw *= 10;
    if (c.type == 7 && c.size == 8) return b.put(at, raw);
    if (c.type == 7 && c.size == 2) return b.put(at, half_of(raw));
    if (c.type == 7) return b.put(at, float(raw));
    if (c.size == 2) return b.put(at, std::int16_t(rounded(raw)));
    b.put(at, std::int32_t(rounded(raw)));
}

std::vector<LdChannel> ld_channels(const Recording& r) {
    int rate = int(r.sample_rate);
    std::vector<LdChannel> out;
    for (std::size_t c = DISTANCE + 1; c < r.channels.size(); ++c) {
        const Channel& ch = r.channels[c];
        bool gps = ch.unit == "deg", water = ch.name == "Water Temp" && rate % 2 == 0;
        // Water Temp as a half float at half the rate; speed, as MoTeC loggers
        // log it, slower than the fastest channel.
        bool speed = ch.unit == "km/h", slow = (water || speed) && rate % 2 == 0;
        bool floating = gps || water || speed;
        LdChannel o{ch.name,
                    ch.unit,
                    floating ? 7 : 3,
                    gps     ? 8
                    : water ? 2
                            : 4,
                    slow ? rate / 2 : rate,
                    floating ? 0 : ch.decimals,
                    {}};
        for (std::size_t row = 0; row < r.rows(); row += std::size_t(rate / o.rate))
            o.values.push_back(r.at(row, c));
        out.push_back(o);
    }
    LdChannel running{"Running Lap Time", "s", 3, 4, rate, 3, {}};
    LdChannel lap_time{"Lap Time", "s", 3, 4, rate, 3, {}};
    LdChannel number{"Lap Number", "", 3, 2, rate, 0, {}};
    // The logger shows a lap's number and the last lap's time a few samples after the line.
    constexpr std::size_t SHOWN_AFTER = 3;
    for (std::size_t row = 0; row < r.rows(); ++row) {
        std::size_t lap = lap_of(r, row);
        running.values.push_back(double(row - r.lap_starts[lap]) / r.sample_rate);
        std::size_t shown = lap > 0 && row < r.lap_starts[lap] + SHOWN_AFTER ? lap - 1 : lap;
        lap_time.values.push_back(shown == 0 ? 0.0 : lap_seconds(r, shown - 1));
        number.values.push_back(double(shown));
    }
    out.push_back(running);
    out.push_back(lap_time);
    out.push_back(number);
    return out;
}

} // namespace

std::string write_ld(const Recording& r) {
    const SessionInfo& i = r.info;
    constexpr std::size_t EVENT = 1762, VENUE = EVENT + 1154, VEHICLE = VENUE + 1100;
    constexpr std::size_t CHANNELS = VEHICLE + 260, BLOCK = 124;
    std::vector<LdChannel> channels = ld_channels(r);
    Bytes b(CHANNELS + BLOCK * channels.size());
    char date[32], clock[32];
    std::snprintf(date, sizeof date, "%02d/%02d/%04d", i.day, i.month, i.year);
    std::snprintf(clock, sizeof clock, "%02d:%02d:%02d", i.hour, i.minute, i.second);
    b.put(0, std::uint32_t(0x40));
    b.put(8, std::uint32_t(CHANNELS));
    b.put(12, std::uint32_t(b.size()));
    b.put(36, std::uint32_t(EVENT));
    b.put(70, std::uint32_t(4242));
    b.text(74, 8, "LXG");
    b.put(82, std::uint16_t(100));
    b.put(86, std::uint32_t(channels.size()));
    b.text(94, 16, date);
    b.text(126, 16, clock);
    b.text(158, 64, i.driver);
    b.text(222, 64, i.vehicle);
    b.text(350, 64, i.venue);
    b.text(1572, 64, "generated");
    b.text(EVENT, 64, "Club Trophy");
    b.text(EVENT + 64, 64, "1");
    b.text(EVENT + 128, 1024, "a generated session");
    b.put(EVENT + 1152, std::uint16_t(VENUE));
    b.text(VENUE, 64, i.venue);
    b.put(VENUE + 1098, std::uint16_t(VEHICLE));
    b.text(VEHICLE, 64, i.vehicle);
    b.text(VEHICLE + 64, 64, "Generated GT");
    b.put(VEHICLE + 192, std::uint32_t(1180));
    b.text(VEHICLE + 196, 32, "Car");
    b.text(VEHICLE + 228, 32, "test car");
    for (std::size_t k = 0; k < channels.size(); ++k) {
        const LdChannel& c = channels[k];
        std::size_t at = CHANNELS + k * BLOCK, data = b.size();
        b.put(at, std::uint32_t(k ? at - BLOCK : 0));
        b.put(at + 4, std::uint32_t(k + 1 < channels.size() ? at + BLOCK : 0));
        b.put(at + 8, std::uint32_t(data));
        b.put(at + 12, std::uint32_t(c.values.size()));
        b.put(at + 18, std::uint16_t(c.type));
        b.put(at + 20, std::uint16_t(c.size));
        b.put(at + 22, std::uint16_t(c.rate));
        b.put(at + 26, std::int16_t(1));
        b.put(at + 28, std::int16_t(1));
        b.put(at + 30, std::int16_t(c.decimals));
        b.text(at + 32, 32, c.name);
        b.text(at + 64, 8, c.name.substr(0, 7));
        b.text(at + 72, 12, c.unit);
        for (std::size_t s = 0; s < c.values.size(); ++s)
            put_sample(b, data + s * std::size_t(c.size), c, c.values[s]);
    }
    return b.take();
}

namespace {

// ---- iRacing telemetry ----------------------------------------------------

struct IbtVar {
    std::string name, unit;
    int type, count;
    double scale;        // from the recording's unit
    std::size_t channel; // in the recording; channels.size() for a lap variable
    int offset = 0;
};

constexpr int TYPE_SIZES[] = {1, 1, 4, 4, 4, 8};
constexpr std::size_t LAP = ~std::size_t(0), LAST_LAP_TIME = LAP - 1, ARRAY = LAP - 2;

std::vector<IbtVar> ibt_vars(const Recording& r) {
    std::vector<IbtVar> vars = {{"OnPitRoad", "", 1, 1, 1, ARRAY},
                                {"SessionTime", "s", 5, 1, 1, TIME},
                                {"Lap", "", 2, 1, 1, LAP},
                                {"LapLastLapTime", "s", 4, 1, 1, LAST_LAP_TIME},
                                {"CarIdxLap", "", 2, 4, 1, ARRAY}};
    for (std::size_t c = DISTANCE + 1; c < r.channels.size(); ++c) {
        const Channel& ch = r.channels[c];
        if (ch.name == "Engine RPM")
            vars.push_back({"RPM", "revs/min", 4, 1, 1, c});
        else if (ch.unit == "km/h")
            vars.push_back({"Speed", "m/s", 4, 1, 1 / KMH_PER_MS, c});
        else if (ch.name == "Lateral Acc")
            vars.push_back({"LatAccel", "m/s^2", 4, 1, -STANDARD_GRAVITY, c}); // left positive
        else if (ch.name == "Longitudinal Acc")
            vars.push_back({"LongAccel", "m/s^2", 4, 1, STANDARD_GRAVITY, c});
        else if (ch.name == "GPS Latitude")
            vars.push_back({"Lat", "deg", 5, 1, 1, c});
        else if (ch.name == "GPS Longitude")
            vars.push_back({"Lon", "deg", 5, 1, 1, c});
        else
            vars.push_back({ch.name, ch.unit, 4, 1, 1, c});
    }
    int offset = 0; // packed: the double after the first byte is unaligned
    for (IbtVar& v : vars) {
        v.offset = offset;
        offset += TYPE_SIZES[v.type] * v.count;
    }
    return vars;
}

// As the sim writes it, with keys that contain the ones read, a value's
// trailing blanks and a line ending in CR.
std::string session_yaml(const Recording& r) {
    return "---\nWeekendInfo:\n TrackNameShort: gen\n TrackName: generated\n TrackDisplayName: " +
           r.info.venue +
           "  \r\nDriverInfo:\n DriverCarIdx: 1\n PaceCarIdx: 0\n Drivers:\n"
           " - CarIdx: 0\n   UserName: Pace Car\n   CarScreenName: Safety Car\n - CarIdx: 1\n"
           "   UserName: " +
           r.info.driver + "\n   CarScreenName: " + r.info.vehicle + " \n...\n";
}

void put_value(Bytes& b, std::size_t at, int type, double v) {
    switch (type) {
    case 1:
        return b.put(at, std::uint8_t(v != 0));
    case 2:
        return b.put(at, std::int32_t(rounded(v)));
    case 4:
        return b.put(at, float(v));
    default:
        return b.put(at, v);
    }
}

double ibt_value(const Recording& r, const IbtVar& v, std::size_t row) {
    std::size_t lap = lap_of(r, row);
    if (v.channel == LAP) return double(lap);
    if (v.channel == LAST_LAP_TIME) return lap == 0 ? 0.0 : lap_seconds(r, lap - 1);
    if (v.channel == ARRAY) return double(lap);
    return r.at(row, v.channel) * v.scale;
}

} // namespace

std::string write_ibt(const Recording& r) {
    constexpr std::size_t HEADER = 144, VAR = 144;
    std::vector<IbtVar> vars = ibt_vars(r);
    std::string yaml = session_yaml(r);
    std::size_t row_bytes = std::size_t(vars.back().offset) +
                            std::size_t(TYPE_SIZES[vars.back().type] * vars.back().count);
    std::size_t yaml_at = HEADER + VAR * vars.size(), rows_at = yaml_at + yaml.size();
    Bytes b(rows_at + row_bytes * r.rows());
    b.put(0, std::int32_t(2));
    b.put(8, std::int32_t(r.sample_rate));
    b.put(16, std::int32_t(yaml.size()));
    b.put(20, std::int32_t(yaml_at));
    b.put(24, std::int32_t(vars.size()));
    b.put(28, std::int32_t(HEADER));
    b.put(32, std::int32_t(1));
    b.put(36, std::int32_t(row_bytes));
    b.put(52, std::int32_t(rows_at));
    b.put(112, std::int64_t(1746266400)); // 2025-05-03 10:00:00 UTC
    b.put(136, std::int32_t(int(r.lap_starts.size())));
    b.put(140, std::int32_t(r.rows()));
    for (std::size_t k = 0; k < vars.size(); ++k) {
        std::size_t at = HEADER + k * VAR;
        b.put(at, std::int32_t(vars[k].type));
        b.put(at + 4, std::int32_t(vars[k].offset));
        b.put(at + 8, std::int32_t(vars[k].count));
        b.text(at + 16, 32, vars[k].name);
        b.text(at + 112, 32, vars[k].unit);
    }
    b.text(yaml_at, yaml.size(), yaml);
    for (std::size_t row = 0; row < r.rows(); ++row)
        for (const IbtVar& v : vars)
            for (int e = 0; e < v.count; ++e)
                put_value(
                    b, rows_at + row * row_bytes + std::size_t(v.offset + e * TYPE_SIZES[v.type]),
                    v.type, ibt_value(r, v, row));
    return b.take();
}

} // namespace lxgen
