// The read-only exports that list what a session holds.
#include <cstdio>

#include "base/output.h"
#include "base/units.h"
#include "frame/frame.h"
#include "lx.h"

using namespace lx;

namespace {

Session* lookup_or_complain(int handle) {
    Session* s = lookup_session(handle);
    if (s == nullptr) emit(library.trace.sink, "Exit - no session found.\n");
    return s;
}

// Where the detection that ends a cut lap lies relative to the nearest beacon.
// Any unit but feet is taken as metres.
void write_offset_note(char* note, float cut_offset, int unit) {
    const char* side = cut_offset < 0.0f ? "after" : "before";
    double metres = cut_offset < 0.0f ? -static_cast<double>(cut_offset) : cut_offset;
    if (unit == LX_UNIT_FEET)
        std::snprintf(note, TEXT_SIZE, "%.1fft %s", metres * FEET_PER_METRE, side);
    else
        std::snprintf(note, TEXT_SIZE, "%.1fm %s", metres, side);
}

} // namespace

extern "C" {

LX_API int lx_num_channels(int handle) {
    Session* s = lookup_session(handle);
    return s ? s->nchannels : 0;
}

LX_API int lx_num_laps(int handle) {
    Session* s = lookup_session(handle);
    return s ? s->nlaps : 0;
}

LX_API const char* lx_channel_name(int handle, int channel) {
    Session* s = lookup_session(handle);
    if (!valid_channel(s, channel)) return nullptr;
    return return_text(s->channels[channel].name);
}

LX_API int lx_channel_number(int handle, int id) {
    if (verbose()) emit(library.trace.sink, "lx_channel_number()\n");
    Session* s = lookup_or_complain(handle);
    return s ? well_known_channel(s, id) : 0;
}

LX_API float lx_channel_max(int handle, int channel) {
    if (verbose()) emit(library.trace.sink, "lx_channel_max(%d)\n", channel);
    Session* s = lookup_or_complain(handle);
    return s ? session_channel_max(s, channel) : 0.0f;
}

LX_API float lx_channel_min(int handle, int channel) {
    if (verbose()) emit(library.trace.sink, "lx_channel_min(%d)\n", channel);
    Session* s = lookup_or_complain(handle);
    return s ? session_channel_min(s, channel) : 0.0f;
}

LX_API float lx_session_average(int handle, int value) {
    if (verbose()) emit(library.trace.sink, "lx_average_session(%d,%d)\n", handle, value);
    return 0.5f;
}

LX_API float lx_lap_length(int handle, int lap) {
    if (verbose()) emit(library.trace.sink, "lx_lap_length(%d,%d)", handle, lap);
    Session* s = lookup_session(handle);
    if (!valid_lap(s, lap)) return 0.0f;
    float length = s->laps[lap].lap_length;
    if (verbose()) emit(library.trace.sink, " = %.1f\n", length);
    return length;
}

LX_API const char* lx_laptime_text(int handle, int lap, int which, int unit) {
    Session* s = lookup_session(handle);
    if (!valid_lap(s, lap)) return nullptr;
    const Lap& l = s->laps[lap];
    char time_text[TEXT_SIZE];
    format_laptime(time_text, which != 0 ? l.raw_laptime : l.laptime);
    char text[3 * TEXT_SIZE];
    if (l.original != 0) {
        std::snprintf(text, sizeof text, "Lap %d - %s (Original #%d)", l.number, time_text,
                      l.original);
    } else if (l.cut_offset == 0.0f) {
        std::snprintf(text, sizeof text, "%d - %s", l.number, time_text);
    } else {
        char note[TEXT_SIZE];
        write_offset_note(note, l.cut_offset, unit);
        std::snprintf(text, sizeof text, "%d - %s (%s)", l.number, time_text, note);
    }
    const char* result = return_text(text);
    if (verbose())
        emit(library.trace.sink, "lx_laptime_text(%d,%d) = %s\n", handle, lap,
             result ? result : "");
    return result;
}

} // extern "C"
