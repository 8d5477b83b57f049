// Which of a file's channels shows the throttle, the brake, the engine's
// speed, the gear and the steering: a rule on titles, so that every program
// draws the same traces.
#include <array>
#include <cctype>
#include <string>
#include <string_view>
#include <vector>

#include "data/analysis.h"
#include "data/call.h"
#include "data/names.h"

namespace lx::data {

namespace {

using Words = std::vector<std::string>;

// Lower-case words, split at anything but letters and digits and where a
// small letter meets a capital ("SteeringWheelAngle", "throttle_pos").
Words words_of(std::string_view title) {
    Words words(1);
    char previous = ' ';
    for (char c : title) {
        auto u = static_cast<unsigned char>(c);
        bool letter = std::isalnum(u) != 0;
        bool new_word =
            !letter || (std::isupper(u) && std::islower(static_cast<unsigned char>(previous)));
        if (new_word && !words.back().empty()) words.emplace_back();
        if (letter) words.back() += static_cast<char>(std::tolower(u));
        previous = c;
    }
    if (words.back().empty()) words.pop_back();
    return words;
}

bool has(const Words& words, std::string_view word) {
    for (const std::string& w : words)
        if (w == word) return true;
    return false;
}

// Per role, the words a title must hold, the best first.
const std::array<std::vector<Words>, LX_ROLES> PATTERNS = {{
    {{"tps"}, {"throttle"}, {"pps"}, {"accelerator"}},
    {{"brake", "pressure"}, {"brake", "press"}, {"brake", "pres"}, {"bps"}, {"brake"}},
    {{"rpm"}, {"engine", "speed"}},
    {{"gear"}},
    {{"steering"}, {"steered"}, {"steer"}},
}};

const Words NO_ROLE = {"temp",    "temperature", "bias",   "volts", "voltage",
                       "setting", "torque",      "target", "limit"};

// The rank of the first pattern the words hold; PATTERNS' size when none.
std::size_t rank(const std::vector<Words>& patterns, const Words& words) {
    for (const std::string& w : NO_ROLE)
        if (has(words, w)) return patterns.size();
    for (std::size_t k = 0; k < patterns.size(); ++k) {
        bool all = true;
        for (const std::string& w : patterns[k]) all = all && has(words, w);
        if (all) return k;
    }
    return patterns.size();
}

Words channel_words(const Session* s, int c) {
    Words words = words_of(channel_title(s, c));
    return words.empty() ? words_of(s->channels[c].name) : words;
}

bool reads_zero(const Session* s, int c) {
    return session_channel_min(s, c) == 0.0f && session_channel_max(s, c) == 0.0f;
}

int roles(int handle, int* channels) {
    if (channels == nullptr) return fail(LX_ERR_ARGUMENT, "lx_analysis_roles: channels is null");
    const Session* s = find_session(handle);
    if (s == nullptr || current_analysis(s, handle) == nullptr) return lx_last_status();
    for (int role = 0; role < LX_ROLES; ++role) {
        const std::vector<Words>& patterns = PATTERNS[std::size_t(role)];
        std::size_t best = patterns.size();
        channels[role] = -1;
        for (int c = 1; c < s->nfile_channels; ++c) {
            std::size_t r = rank(patterns, channel_words(s, c));
            if (r < best && !reads_zero(s, c)) best = r, channels[role] = c;
        }
    }
    return LX_OK;
}

} // namespace

} // namespace lx::data

extern "C" {

LX_DATA_API int lx_analysis_roles(int handle, int channels[LX_ROLES]) {
    return lx::data::api_call([&] { return lx::data::roles(handle, channels); });
}

} // extern "C"
