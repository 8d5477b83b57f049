// Setup: empty derived channels appended, and where they went recorded.
#include <cstdio>

#include "base/output.h"
#include "base/units.h"
#include "channels/channels.h"

namespace lx {

int set_motec_channel(Session* s, int channel, const char* name, const char* unit, int id,
                      float scale, float offset) {
    Channel& c = s->channels[channel];
    copy_text(c.motec_name, name);
    copy_text(c.motec_unit, unit);
    c.motec_id = id;
    c.scale = scale;
    c.offset = offset;
    return 1;
}

namespace {

struct NewChannel {
    const char* name;
    const char* unit;
    int* field;
};

// Each field is set as soon as its channel exists, so a failure part-way
// leaves the earlier channels recorded and the failed one at 0.
template <std::size_t N>
int add_channels(Session* s, const NewChannel (&list)[N], const Sink& out) {
    for (const NewChannel& c : list) {
        *c.field = add_channel(s, c.name, c.unit, out);
        if (*c.field == 0) return 0;
    }
    return 1;
}

} // namespace

int add_session_math_channels(Session* s, TraceOptions options) {
    if (options.verbose) emit(options.sink, "Adding extra channels to session '%s'\n", s->filename);
    const NewChannel list[] = {
        {"i_latg", "g", &s->i_latg},         {"i_longg", "g", &s->i_longg},
        {"i_distance", "m", &s->i_distance}, {"i_seglen", "m", &s->i_seglen},
        {"i_speed", "ms", &s->i_speed},      {"i_radius", "m", &s->i_radius},
    };
    if (add_channels(s, list, options.sink) == 0) return 0;
    set_motec_channel(s, s->i_latg, "latg", "g", 15, 1.0f, 0.0f);
    set_motec_channel(s, s->i_longg, "longg", "g", 16, 1.0f, 0.0f);
    set_motec_channel(s, s->i_speed, "speed", "mile/h", 176, MS_TO_MPH, 0.0f);
    return 1;
}

int add_time_diff_channels(Session* s, TraceOptions options) {
    if (options.verbose) emit(options.sink, "Adding extra channels to session '%s'\n", s->filename);
    const NewChannel list[] = {{"i_tdiff", "m", &s->i_tdiff}, {"i_tdiff_dt", "m", &s->i_tdiff_dt}};
    return add_channels(s, list, options.sink);
}

int add_matching_channels(Session* s, int* error_channel, int* beacon_channel, const Sink& out) {
    const NewChannel list[] = {{"i_error", "", error_channel}, {"i_beacon", "", beacon_channel}};
    return add_channels(s, list, out);
}

} // namespace lx
