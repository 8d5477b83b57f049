// One lap's dead-reckoned map laid on another's, so that sessions without
// positions still share one map: paired by share of length, then the best
// turn and shift.
#include <algorithm>
#include <cmath>
#include <vector>

#include "data/analysis.h"
#include "data/call.h"
#include "data/choice.h"

namespace lx::data {

namespace {

struct Path {
    std::vector<double> x, y, along; // along: metres from the first point
};

int reckoned_path(Session* s, int handle, int lap, Path& p) {
    if (current_analysis(s, handle) == nullptr) return lx_last_status();
    if (int st = check_lap(s, handle, lap); st != LX_OK) return st;
    if (!reckoned_map(s, lap, p.x, p.y) || p.x.size() < 2)
        return fail(LX_ERR_LAP, "lap %d of session %d has no map", lap, handle);
    p.along.assign(1, 0.0);
    for (std::size_t i = 1; i < p.x.size(); ++i)
        p.along.push_back(p.along.back() + std::hypot(p.x[i] - p.x[i - 1], p.y[i] - p.y[i - 1]));
    return LX_OK;
}

// The point of p at share t (0 to 1) of its length.
void point_at(const Path& p, double t, double& x, double& y) {
    double at = t * p.along.back();
    auto next = std::upper_bound(p.along.begin(), p.along.end(), at);
    std::size_t j = std::min<std::size_t>(std::size_t(next - p.along.begin()), p.along.size() - 1);
    std::size_t i = j > 0 ? j - 1 : 0;
    double span = p.along[j] - p.along[i];
    double f = span > 0 ? std::clamp((at - p.along[i]) / span, 0.0, 1.0) : 0.0;
    x = p.x[i] + (p.x[j] - p.x[i]) * f;
    y = p.y[i] + (p.y[j] - p.y[i]) * f;
}

// The lap's points turned and shifted onto their partners on the reference.
void lay(Path& lap, const Path& ref) {
    std::size_t n = lap.x.size();
    std::vector<double> rx(n), ry(n);
    double length = lap.along.back();
    for (std::size_t i = 0; i < n; ++i)
        point_at(ref, length > 0 ? lap.along[i] / length : 0.0, rx[i], ry[i]);
    double lx = 0, ly = 0, cx = 0, cy = 0;
    for (std::size_t i = 0; i < n; ++i) lx += lap.x[i], ly += lap.y[i], cx += rx[i], cy += ry[i];
    lx /= double(n), ly /= double(n), cx /= double(n), cy /= double(n);
    double dot = 0, cross = 0;
    for (std::size_t i = 0; i < n; ++i) {
        double ax = lap.x[i] - lx, ay = lap.y[i] - ly, bx = rx[i] - cx, by = ry[i] - cy;
        dot += ax * bx + ay * by;
        cross += ax * by - ay * bx;
    }
    double turn = std::atan2(cross, dot), c = std::cos(turn), s = std::sin(turn);
    for (std::size_t i = 0; i < n; ++i) {
        double ax = lap.x[i] - lx, ay = lap.y[i] - ly;
        lap.x[i] = cx + c * ax - s * ay;
        lap.y[i] = cy + s * ax + c * ay;
    }
}

int map_laid(int handle, int lap, int ref_handle, int ref_lap, double* x, double* y, int capacity) {
    const char* call = "lx_analysis_map_laid";
    if (capacity < 0) return fail(LX_ERR_ARGUMENT, "%s: capacity %d is negative", call, capacity);
    if ((x == nullptr || y == nullptr) && capacity > 0)
        return fail(LX_ERR_ARGUMENT, "%s: a buffer is null but capacity is %d", call, capacity);
    Session* s = find_session(handle);
    Session* r = find_session(ref_handle);
    if (s == nullptr || r == nullptr) return lx_last_status();
    Path laid, on;
    if (int st = reckoned_path(r, ref_handle, ref_lap, on); st != LX_OK) return st;
    if (int st = reckoned_path(s, handle, lap, laid); st != LX_OK) return st;
    lay(laid, on);
    std::size_t n = std::min(laid.x.size(), std::size_t(capacity));
    if (n > 0) std::copy_n(laid.x.begin(), n, x), std::copy_n(laid.y.begin(), n, y);
    return int(laid.x.size());
}

} // namespace

} // namespace lx::data

extern "C" {

LX_DATA_API int lx_analysis_map_laid(int handle, int lap, int ref_handle, int ref_lap, double* x,
                                     double* y, int capacity) {
    return lx::data::api_call(
        [&] { return lx::data::map_laid(handle, lap, ref_handle, ref_lap, x, y, capacity); });
}

} // extern "C"
