// Prints a real session's laps as the data API gives them, one line each:
// "number logger_lap class logger_time laptime", the time to the millisecond.
// Usage: lap-facts FILE SPEED LATERAL, channels by name or number. Exit 1 when the file is
// refused, or a lap time the logger gave is not a whole number of
// milliseconds.
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "lx_data.h"

namespace {

const char* const CLASS_NAMES[] = {"unknown", "full", "out", "in", "partial", "double"};

// A channel by title or stored name, or by number where the title is not unique.
int channel(int h, const char* name) {
    char* end = nullptr;
    long number = std::strtol(name, &end, 10);
    return *name != '\0' && *end == '\0' ? static_cast<int>(number) : lx_find_channel(h, name);
}

int refused(const char* what) {
    std::fprintf(stderr, "lap-facts: %s: %s\n", what, lx_last_error());
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: lap-facts FILE SPEED LATERAL\n");
        return 2;
    }
    int h = lx_open(argv[1], nullptr);
    if (h < 0) return refused(argv[1]);
    int speed = channel(h, argv[2]);
    int lateral = channel(h, argv[3]);
    if (speed < 0 || lateral < 0) return refused("channel");
    lx_math_options math{speed, lateral, 0, LX_SPEED_KMH, 0, 0};
    if (lx_session_math(h, &math) != LX_OK) return refused("session math");
    lx_session_info session;
    lx_session_info_get(h, &session);
    int bad = 0;
    for (int lap = 0; lap < session.laps; ++lap) {
        lx_lap_info l;
        if (lx_lap_info_get(h, lap, &l) != LX_OK) return refused("lap");
        double ms = std::round(l.laptime * 1000.0);
        if (l.logger_time && l.laptime != ms / 1000.0) {
            std::fprintf(stderr, "lap %d: %.17g is no whole millisecond\n", l.number, l.laptime);
            bad = 1;
        }
        bool named = l.lap_class >= 0 && l.lap_class <= LX_LAP_DOUBLE;
        std::printf("%d %d %s %d %.3f\n", l.number, l.logger_lap,
                    named ? CLASS_NAMES[l.lap_class] : "?", l.logger_time, l.laptime);
    }
    return bad;
}
