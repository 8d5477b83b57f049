// What a session holds: its facts, its channels' titles and units as written,
// its laps with their classes, and a channel found by name.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "data/call.h"
#include "data/dates.h"
#include "data/laps.h"
#include "data/names.h"
#include "session/record.h"

namespace lx::data {

namespace {

// In a front-end session the library-wide matching pair belongs to the session
// lx_beacon_setup set up last, and to any whose derived channels lie at the
// same numbers; otherwise, and always in the data API's, the newest pair
// lx_match_laps appended.
int matching_channel(const Session* s, int channel, const char* name) {
    bool ours = channel >= s->nfile_channels && channel < s->nchannels &&
                std::strcmp(s->channels[channel].name, name) == 0;
    return ours ? channel : newest_derived(s, name);
}

// What a derived channel's values are in; the stored units of lx.h say
// otherwise for some ("ms" for m/s, "m" for curvature and time).
std::string_view derived_unit(const Session* s, int channel) {
    struct Unit {
        int Session::*field;
        const char* unit;
    };
    static constexpr Unit UNITS[] = {{&Session::i_speed, "m/s"},  {&Session::i_radius, "1/km"},
                                     {&Session::i_tdiff, "s"},    {&Session::i_tdiff_dt, "s/s"},
                                     {&Session::i_latg, "g"},     {&Session::i_longg, "g"},
                                     {&Session::i_distance, "m"}, {&Session::i_seglen, "m"},
                                     {&Session::i_map_x, "m"},    {&Session::i_map_y, "m"}};
    for (const Unit& u : UNITS)
        if (channel != 0 && s->*u.field == channel) return u.unit;
    return channel_unit(s, channel);
}

int fill_session_info(int handle, lx_session_info* info) {
    const Session* s = find_readable_session(handle);
    if (s == nullptr) return LX_ERR_HANDLE;
    if (info == nullptr) return fail(LX_ERR_ARGUMENT, "lx_session_info_get: info is null");
    *info = lx_session_info{};
    info->sample_rate = s->sample_rate;
    info->channels = s->nchannels;
    info->file_channels = s->nfile_channels;
    info->laps = s->nlaps;
    copy_field(info->file, s->filename);
    copy_field(info->venue, s->venue);
    copy_field(info->vehicle, s->vehicle);
    copy_field(info->driver, s->driver);
    if (const SessionRecord* r = s->record) {
        info->start_time = r->start_time;
        copy_field(info->format, r->format);
        // The record's texts are the file's own; the fixed fields may be cut.
        if (!r->venue.empty()) copy_field(info->venue, r->venue);
        if (!r->vehicle.empty()) copy_field(info->vehicle, r->vehicle);
        if (!r->driver.empty()) copy_field(info->driver, r->driver);
        copy_field(info->date, r->date);
        copy_field(info->time, r->time);
        copy_field(info->logger, r->logger);
        info->stated_rate = r->stated_rate;
    }
    bool front_end = lookup_session(handle) != nullptr;
    info->error_channel = matching_channel(s, front_end ? library.error_channel : 0, "i_error");
    info->beacon_channel = matching_channel(s, front_end ? library.beacon_channel : 0, "i_beacon");
    info->beacon_shift = s->beacon_shift;
    return LX_OK;
}

int fill_channel_info(int handle, int channel, lx_channel_info* info) {
    const Session* s = find_readable_session(handle);
    if (s == nullptr) return LX_ERR_HANDLE;
    if (int status = check_channel(s, handle, channel); status != LX_OK) return status;
    if (info == nullptr) return fail(LX_ERR_ARGUMENT, "lx_channel_info_get: info is null");
    *info = lx_channel_info{};
    copy_field(info->name, s->channels[channel].name);
    copy_field(info->title, channel_title(s, channel));
    info->derived = channel >= s->nfile_channels;
    copy_field(info->unit, info->derived ? derived_unit(s, channel) : channel_unit(s, channel));
    return LX_OK;
}

int fill_lap_info(int handle, int lap, lx_lap_info* info) {
    const Session* s = find_readable_session(handle);
    if (s == nullptr) return LX_ERR_HANDLE;
    if (int status = check_lap(s, handle, lap); status != LX_OK) return status;
    if (info == nullptr) return fail(LX_ERR_ARGUMENT, "lx_lap_info_get: info is null");
    const Lap& l = s->laps[lap];
    *info = lx_lap_info{};
    info->number = lap + (s->record != nullptr ? s->record->first_lap : 1);
    info->logger_lap = l.number;
    info->samples = l.npoints;
    info->lap_class = lap_class(s, lap);
    info->slow = lap_slow(s, lap);
    info->logger_time = logger_timed(s, lap);
    info->origin_lap = l.original;
    info->truncated = lap_truncated(s, lap);
    info->origin_offset = l.cut_offset;
    info->laptime = lap_time(s, lap);
    info->sample_time = sample_time(s, lap);
    info->length = l.lap_length;
    return LX_OK;
}

int find_channel(int handle, const char* name) {
    const Session* s = find_readable_session(handle);
    if (s == nullptr) return LX_ERR_HANDLE;
    if (name == nullptr) return fail(LX_ERR_ARGUMENT, "lx_find_channel: name is null");
    return match_channel(s, name, s->nchannels, "session " + std::to_string(handle));
}

// Copies note `index` when there is room; the count either way.
int copy_note(int handle, int index, char* text, int size) {
    const Session* s = find_readable_session(handle);
    if (s == nullptr) return LX_ERR_HANDLE;
    if (index < 0 || size < 0)
        return fail(LX_ERR_ARGUMENT, "lx_session_note: index %d or size %d is negative", index,
                    size);
    if (text == nullptr && size > 0)
        return fail(LX_ERR_ARGUMENT, "lx_session_note: text is null but size is %d", size);
    int count = s->record ? static_cast<int>(s->record->notes.size()) : 0;
    if (size == 0) return count;
    if (index >= count)
        return fail(LX_ERR_ARGUMENT, "lx_session_note: note %d asked for, the session has %d",
                    index, count);
    copy_field(text, static_cast<std::size_t>(size),
               s->record->notes[static_cast<std::size_t>(index)]);
    return count;
}

int copy_day(int handle, char* day, int size) {
    const Session* s = find_session(handle);
    if (s == nullptr) return LX_ERR_HANDLE;
    if (day == nullptr || size < 1)
        return fail(LX_ERR_ARGUMENT, "lx_session_day: day is null or size %d below 1", size);
    copy_field(day, static_cast<std::size_t>(size), s->record ? session_day(*s->record) : "");
    return LX_OK;
}

int session_origin(int handle, double* latitude, double* longitude) {
    const Session* s = find_session(handle);
    if (s == nullptr) return LX_ERR_HANDLE;
    if (latitude == nullptr || longitude == nullptr)
        return fail(LX_ERR_ARGUMENT, "lx_session_origin: a null pointer");
    const SessionRecord* r = s->record;
    if (r == nullptr || (r->origin_latitude == 0.0 && r->origin_longitude == 0.0))
        return fail(LX_ERR_CHANNEL, "session %d has no positions", handle);
    *latitude = r->origin_latitude;
    *longitude = r->origin_longitude;
    return LX_OK;
}

} // namespace

} // namespace lx::data

using namespace lx::data;

extern "C" {

LX_DATA_API int lx_session_info_get(int handle, lx_session_info* info) {
    return api_call([&] { return fill_session_info(handle, info); });
}

LX_DATA_API int lx_channel_info_get(int handle, int channel, lx_channel_info* info) {
    return api_call([&] { return fill_channel_info(handle, channel, info); });
}

LX_DATA_API int lx_lap_info_get(int handle, int lap, lx_lap_info* info) {
    return api_call([&] { return fill_lap_info(handle, lap, info); });
}

LX_DATA_API int lx_session_note(int handle, int index, char* text, int size) {
    return api_call([&] { return copy_note(handle, index, text, size); });
}

LX_DATA_API int lx_find_channel(int handle, const char* name) {
    return api_call([&] { return find_channel(handle, name); });
}

LX_DATA_API int lx_session_day(int handle, char* day, int size) {
    return api_call([&] { return copy_day(handle, day, size); });
}

LX_DATA_API int lx_session_origin(int handle, double* latitude, double* longitude) {
    return api_call([&] { return session_origin(handle, latitude, longitude); });
}

} // extern "C"
