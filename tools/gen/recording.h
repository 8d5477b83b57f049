// A generated session as a logger records it, and the file formats it can be
// written in. Every writer prints with the C library's exact decimal
// conversion, so a file is the same on every platform.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace lxgen {

struct Channel {
    std::string name;
    std::string unit; // as the text export writes it: "km/h", "g", "C", ...
    int decimals;
};

// When and where the session was recorded, for the formats that say so.
struct SessionInfo {
    std::string venue = "Generated Circuit";
    std::string vehicle = "Club Car";
    std::string driver = "Test Driver";
    int year = 2026, month = 5, day = 3, hour = 10, minute = 0, second = 0; // UTC
};

// Samples on one even time base. Channel 0 is Time (s) and channel 1 Distance
// (m), both counted from the session's first sample; the text export restarts
// them at each lap. Laps begin at the first sample after a beacon.
struct Recording {
    double sample_rate = 20.0;
    std::vector<Channel> channels;
    std::vector<double> values;          // row after row, one value per channel
    std::vector<std::size_t> lap_starts; // first row of each logged lap, from 0
    std::vector<double> beacon_times;    // seconds at each beacon the logger saw
    std::vector<int> lap_numbers;        // as the logger numbers the laps
    // The start line (latitude, longitude of two points): its ends, and its
    // centre with a point 30 m back along the track; empty without GPS.
    std::vector<double> start_gate, start_gate_along;
    std::vector<std::vector<double>> split_gates; // their ends, in lap order
    SessionInfo info;

    std::size_t rows() const { return values.size() / channels.size(); }
    double at(std::size_t row, std::size_t channel) const {
        return values[row * channels.size() + channel];
    }
    // The index of the channel with this name; channels.size() if there is none.
    std::size_t find(const std::string& name) const;
    double duration() const { return double(rows() - 1) / sample_rate; }
    // Adds a beacon at the first row at or after this many seconds.
    void split_lap_at(double seconds);
    // Adds smooth "Sensor N" channels until there are this many.
    void widen(std::size_t channel_count);
};

// ---- the logger's tab-separated text export ---------------------------------

enum class LapMarker {
    session_and_lap, // "Lap: 1/N" on a lap's first row
    previous_and_lap // "Lap: N-1/N"
};

struct TextLayout {
    std::string index_title = "Sample";
    bool lap_relative = true; // Time and Distance restart at each lap
    bool crlf = true;
    LapMarker marker = LapMarker::session_and_lap;
    bool lap_time_trailer = true;  // "N<TAB>Laptime<TAB>seconds" per lap after the end row
    std::string after_end;         // then these lines, as they are
    std::vector<std::string> skip; // channels left out
    // Speed channels written in miles per hour under this title, if not empty.
    std::string mph_title;
};

std::string write_text(const Recording& r, const TextLayout& layout = {});

// ---- CSV exports of other loggers' software ---------------------------------

enum class MarkerCells {
    separate, // "Beacon Markers","12.345","78.901"
    comma,    // "Beacon Markers","12.345, 78.901"
    spaces    // "Beacon Markers","12.345 78.901 "
};

struct AimLayout {
    bool legacy =
        false; // older layout: names twice, a channel-number row, Latin-1, unquoted samples
    MarkerCells markers = MarkerCells::separate;
    bool crlf = true;
};

std::string write_aim_csv(const Recording& r, const AimLayout& layout = {});

// Format 3 of the phone app: rows from a 25 Hz GPS and a 10 Hz engine link
// merged on Unix time, a row at each line crossing, speed in m/s and lateral
// acceleration positive in left-hand bends.
std::string write_racechrono_csv(const Recording& r);

// The analysis software's "Export Data" layout.
std::string write_motec_csv(const Recording& r);

// VBO: minutes with longitude positive to the west, UTC times of day, lateral
// acceleration positive in left-hand bends, satellites with a flag bit, a
// [laptiming] start gate as the ends of a line across the track, or (along)
// as its centre and a point 30 m back along the track, as some writers give it.
struct VboLayout {
    bool gate_along = false;
};
std::string write_vbo(const Recording& r, const VboLayout& layout = {});

// MoTeC LD: every channel but Time and Distance as integers with decimals (Water
// Temp at half the rate when it is even), speed as a float, the position as
// doubles, and Running Lap Time, Lap Time and Lap Number.
std::string write_ld(const Recording& r);

// iRacing telemetry: packed rows (unaligned values), speed in m/s,
// accelerations in m/s^2 with lateral positive in left-hand bends, Lap and
// LapLastLapTime, an array variable, and the session text with the driver
// second in its list.
std::string write_ibt(const Recording& r);

enum class Format { text, aim_csv, racechrono_csv, motec_csv, vbo, ld, ibt };
std::string write(const Recording& r, Format format);

} // namespace lxgen
