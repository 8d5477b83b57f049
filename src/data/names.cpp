#include "data/names.h"
#include "base/ascii.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "data/call.h"
#include "session/record.h"

namespace lx::data {

namespace {

constexpr int NEAREST_SHOWN = 3;

const ChannelTitle* written(const Session* s, int channel) {
    if (s->record == nullptr || channel >= s->nfile_channels) return nullptr;
    if (channel >= static_cast<int>(s->record->titles.size())) return nullptr;
    return &s->record->titles[static_cast<std::size_t>(channel)];
}

// Edits (insert, delete, replace) between two texts, ignoring ASCII case.
std::size_t edit_distance(std::string_view a, std::string_view b) {
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            std::size_t above = row[j];
            std::size_t replace = diagonal + (ascii_lower(a[i - 1]) != ascii_lower(b[j - 1]));
            row[j] = std::min({above + 1, row[j - 1] + 1, replace});
            diagonal = above;
        }
    }
    return row[b.size()];
}

// "Engine RPM" (Engine_RPM): the title, and the stored name when it differs.
std::string describe(const Session* s, int channel) {
    std::string text;
    text.append("\"").append(channel_title(s, channel)).append("\"");
    std::string_view name = s->channels[channel].name;
    if (name != channel_title(s, channel)) text.append(" (").append(name).append(")");
    return text;
}

std::string listed(const Session* s, const std::vector<int>& channels) {
    std::string text;
    for (int c : channels)
        text.append(text.empty() ? "" : ", ")
            .append(std::to_string(c))
            .append(" ")
            .append(describe(s, c));
    return text;
}

std::vector<int> nearest(const Session* s, std::string_view name, int among) {
    std::vector<std::pair<std::size_t, int>> ranked;
    for (int c = 0; c < among; ++c) {
        std::size_t d = std::min(edit_distance(name, channel_title(s, c)),
                                 edit_distance(name, s->channels[c].name));
        ranked.push_back({d, c});
    }
    std::size_t shown = std::min<std::size_t>(ranked.size(), NEAREST_SHOWN);
    std::partial_sort(ranked.begin(), ranked.begin() + static_cast<std::ptrdiff_t>(shown),
                      ranked.end());
    std::vector<int> channels;
    for (std::size_t i = 0; i < shown; ++i) channels.push_back(ranked[i].second);
    return channels;
}

template <typename NameOf>
std::vector<int> matches(const Session* s, std::string_view name, int among, NameOf name_of) {
    std::vector<int> found;
    for (int c = 0; c < among; ++c)
        if (name_of(s, c) == name) found.push_back(c);
    return found;
}

std::string_view stored_name(const Session* s, int channel) {
    return s->channels[channel].name;
}

} // namespace

std::string_view channel_title(const Session* s, int channel) {
    const ChannelTitle* t = written(s, channel);
    return t ? std::string_view(t->title) : std::string_view(s->channels[channel].name);
}

std::string_view channel_unit(const Session* s, int channel) {
    const ChannelTitle* t = written(s, channel);
    return t ? std::string_view(t->unit) : std::string_view(s->channels[channel].unit);
}

int match_channel(const Session* s, std::string_view name, int among, std::string_view where) {
    std::vector<int> found = matches(s, name, among, channel_title);
    if (found.empty()) found = matches(s, name, among, stored_name);
    if (found.size() == 1) return found[0];
    std::string quoted(name);
    std::string place(where);
    if (found.empty() && among == 0)
        return fail(LX_ERR_CHANNEL, "%s: no channel \"%s\"; there are none", place.c_str(),
                    quoted.c_str());
    if (found.empty())
        return fail(LX_ERR_CHANNEL, "%s: no channel \"%s\"; nearest: %s", place.c_str(),
                    quoted.c_str(), listed(s, nearest(s, name, among)).c_str());
    return fail(LX_ERR_AMBIGUOUS, "%s: \"%s\" names %d channels: %s; give the channel number",
                place.c_str(), quoted.c_str(), static_cast<int>(found.size()),
                listed(s, found).c_str());
}

int newest_derived(const Session* s, const char* name) {
    for (int c = s->nchannels - 1; c >= s->nfile_channels && c > 0; --c)
        if (std::strcmp(s->channels[c].name, name) == 0) return c;
    return 0;
}

} // namespace lx::data
