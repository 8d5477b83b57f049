// Lines on the ground that a GPS track crosses: start and split gates, a
// start line proposed for a file without laps, and a session cut at a line.
#pragma once

#include <string>
#include <vector>

#include "import/projection.h"
#include "session/session.h"

namespace lx {

struct PlanePoint {
    double x = 0, y = 0; // metres east and north of the origin
};

// Degrees to metres on the plane around an origin, and back.
class LocalPlane {
  public:
    LocalPlane() = default;
    LocalPlane(double latitude, double longitude)
        : latitude_(latitude), longitude_(longitude), scale_(projection_at(latitude)) {}
    PlanePoint to_plane(double latitude, double longitude) const {
        return {(longitude - longitude_) * scale_.east_per_degree,
                (latitude - latitude_) * scale_.north_per_degree};
    }
    void to_degrees(PlanePoint p, double& latitude, double& longitude) const {
        latitude = latitude_ + p.y / scale_.north_per_degree;
        longitude = longitude_ + p.x / scale_.east_per_degree;
    }

  private:
    double latitude_ = 0, longitude_ = 0;
    Projection scale_;
};

// A session's positions in time order. joined[i] is false where the samples
// i-1 and i are not one stretch of track (a time gap, a lost fix).
struct GpsTrack {
    std::vector<double> t, x, y;
    std::vector<char> joined;
    void add(double time, PlanePoint p, bool joins) {
        t.push_back(time), x.push_back(p.x), y.push_back(p.y), joined.push_back(joins ? 1 : 0);
    }
    std::size_t size() const { return t.size(); }
};

struct Gate {
    PlanePoint a, b; // the ends of the line
};

// The times the track crosses the line in the direction most crossings take
// (a line is passed one way round a circuit), time and fraction interpolated
// between the two samples; crossings closer than a few seconds to the one
// before are the same pass.
std::vector<double> gate_times(const GpsTrack& track, const Gate& gate);

// A gate as a file wrote it. Writers differ: the two points are the ends of
// the line, or a point on the line and a second one along the track. Where
// the track runs along the written segment, it is read as the line across
// the track through its first point. `reading` says which, for people.
struct GateReading {
    Gate line;
    bool across_first_point = false;
    std::string reading; // "read as the line across the track through its first point"
};
GateReading read_gate(const GpsTrack& track, PlanePoint first, PlanePoint second);

// A place the track passes again and again at a similar heading, as a line
// across it; found false when no place is passed twice.
struct ProposedLine {
    bool found = false;
    Gate line;
    PlanePoint at;
    double heading = 0; // degrees clockwise from north
};
ProposedLine propose_start_line(const GpsTrack& track);

// "start line proposed at 44.831234,11.223456, heading 123"
std::string proposal_text(const ProposedLine& line, const LocalPlane& plane);

// The ends of a line as "LAT,LON,LAT,LON" in degrees; false when the text is
// not four numbers in range.
bool parse_line_text(const std::string& text, double (&ends)[4]);

// Why a session could not be cut at a line.
enum class LineCutFailure {
    none,
    no_positions,    // no East and North channels
    too_few_samples, // fewer than two
    no_crossing,     // the track never crosses the line, or passes no place twice
    too_many_laps,   // more than a session holds
    memory,
};

// A new session with the laps of s (which has East and North and the origin
// in its record) cut where its track crosses the line between two points in
// degrees; null with the cause in `message` (and its kind in *why when given)
// when it cannot be cut.
Session* cut_at_line(const Session& s, const double (&ends)[4], std::string& message,
                     LineCutFailure* why = nullptr);

// Proposes a start line for s and cuts it there; null with the cause in
// `message` (and *why) as for cut_at_line.
Session* cut_at_proposed_line(const Session& s, std::string& message,
                              LineCutFailure* why = nullptr);

} // namespace lx
