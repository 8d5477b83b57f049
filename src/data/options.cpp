#include "data/options.h"

#include <cmath>
#include <string>
#include <string_view>
#include <vector>

#include "data/call.h"
#include "data/names.h"
#include "import/gps_line.h"
#include "session/record.h"

namespace lx::data {

namespace {

// The sample index, Time and Distance: the core reads them by number.
constexpr int ALWAYS_KEPT = 3;

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    return text;
}

int chosen_channels(const Session* s, const std::string& list, std::vector<bool>& keep) {
    keep.assign(static_cast<std::size_t>(s->nchannels), false);
    for (int c = 0; c < ALWAYS_KEPT && c < s->nchannels; ++c)
        keep[static_cast<std::size_t>(c)] = true;
    std::string where = std::string(s->filename) + ": option channels";
    std::string_view rest = list;
    while (!rest.empty()) {
        std::size_t comma = rest.find(',');
        std::string_view name = trimmed(rest.substr(0, comma));
        rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
        if (name.empty()) continue;
        int c = match_channel(s, name, s->nfile_channels, where);
        if (c < 0) return c;
        keep[static_cast<std::size_t>(c)] = true;
    }
    return LX_OK;
}

// Moves the kept channels down in order and gives back the others' samples.
void keep_channels(Session* s, const std::vector<bool>& keep) {
    int kept = 0;
    for (int c = 0; c < s->nchannels; ++c) {
        auto index = static_cast<std::size_t>(c);
        for (int l = 0; l < s->nlaps; ++l) {
            float*& from = s->laps[l].raw[c];
            if (!keep[index])
                release_array(s, from);
            else
                s->laps[l].raw[kept] = from;
            if (!keep[index] || kept != c) from = nullptr;
        }
        if (!keep[index]) continue;
        s->channels[kept] = s->channels[c];
        if (s->record && index < s->record->titles.size())
            s->record->titles[static_cast<std::size_t>(kept)] = s->record->titles[index];
        ++kept;
    }
    s->nchannels = s->nfile_channels = kept;
    if (s->record && s->record->titles.size() > static_cast<std::size_t>(kept))
        s->record->titles.resize(static_cast<std::size_t>(kept));
}

// The window starts or ends at a lap mark unless it takes the recording's
// first or last lap.
void keep_window_in_record(SessionRecord& r, int first, int last, int laps) {
    r.first_lap = first;
    r.starts_at_mark = r.starts_at_mark || first > 1;
    r.ends_at_mark = r.ends_at_mark || last < laps;
    std::vector<long long> ms(static_cast<std::size_t>(last - first + 1), -1);
    for (std::size_t l = 0; l < ms.size(); ++l)
        if (std::size_t from = static_cast<std::size_t>(first - 1) + l; from < r.logger_ms.size())
            ms[l] = r.logger_ms[from];
    r.logger_ms = std::move(ms);
}

// Keeps laps first..last (counting from 1) and gives back the others' samples.
void keep_laps(Session* s, int first, int last) {
    for (int l = 0; l < s->nlaps; ++l) {
        if (l >= first - 1 && l <= last - 1) continue;
        for (int c = 0; c < s->nchannels; ++c) release_array(s, s->laps[l].raw[c]);
    }
    if (s->record != nullptr) keep_window_in_record(*s->record, first, last, s->nlaps);
    int kept = last - first + 1;
    for (int l = 0; l < kept; ++l) s->laps[l] = s->laps[first - 1 + l];
    for (int l = kept; l < s->nlaps; ++l) s->laps[l] = Lap{};
    s->nlaps = kept;
}

} // namespace

int read_options(const lx_open_options* given, ImportOptions& options) {
    options = ImportOptions{};
    if (given == nullptr) return LX_OK;
    if (!(given->rate >= 0.0) || std::isinf(given->rate))
        return fail(LX_ERR_ARGUMENT, "lx_open: rate %g is not a sample rate (0 or more per second)",
                    given->rate);
    if (given->first_lap < 0 || given->last_lap < 0 ||
        (given->last_lap != 0 && given->last_lap < given->first_lap))
        return fail(LX_ERR_ARGUMENT, "lx_open: laps %d to %d are no window of laps (from 1)",
                    given->first_lap, given->last_lap);
    options.rate = given->rate;
    options.channels = given->channels ? given->channels : "";
    options.first_lap = given->first_lap;
    options.last_lap = given->last_lap;
    if (given->start_line == nullptr || given->start_line[0] == '\0') return LX_OK;
    if (!parse_line_text(given->start_line, options.start_line))
        return fail(LX_ERR_ARGUMENT,
                    "lx_open: start line '%s' is not LAT,LON,LAT,LON in degrees (the ends of "
                    "the line)",
                    given->start_line);
    options.cut_at_line = true;
    return LX_OK;
}

int apply_options(Session* s, const ImportOptions& options) {
    if (!options.channels.empty()) {
        std::vector<bool> keep;
        if (int status = chosen_channels(s, options.channels, keep); status != LX_OK) return status;
        keep_channels(s, keep);
    }
    if (options.first_lap == 0 && options.last_lap == 0) return LX_OK;
    int first = options.first_lap == 0 ? 1 : options.first_lap;
    int last = options.last_lap == 0 ? s->nlaps : options.last_lap;
    if (first > s->nlaps || last > s->nlaps)
        return fail(LX_ERR_LAP, "%s: %s", s->filename,
                    lap_window_refusal(options.first_lap, options.last_lap, s->nlaps).c_str());
    keep_laps(s, first, last);
    return LX_OK;
}

} // namespace lx::data
