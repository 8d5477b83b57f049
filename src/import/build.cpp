#include "import/build.h"

#include <algorithm>

#include "import/text.h"

namespace lx {

namespace {

// Each array starts on its own cache line.
constexpr std::size_t LINE_FLOATS = 64 / sizeof(float);

// RaceChrono's source without its number: "100: gps" -> "gps".
std::string source_name(const std::string& source) {
    std::string name = stored_name(source.substr(source.find(':') + 1));
    return name.substr(std::min(name.find_first_not_of('_'), name.size()));
}

} // namespace

std::string ChannelNamer::unique(std::string name, const std::string& source) {
    if (name.empty()) name = "Channel";
    if (used_.count(name) && !source.empty()) name += "_" + source_name(source);
    std::string base = name;
    for (int n = 2; used_.count(name); ++n) name = base + "_" + std::to_string(n);
    used_.insert(name);
    return name;
}

int add_titled(Session& s, SessionRecord& record, ChannelNamer& namer, const std::string& title,
               const std::string& unit, const std::string& source) {
    int c = s.nchannels++;
    copy_text(s.channels[c].name, namer.unique(stored_name(title), source).c_str());
    copy_text(s.channels[c].unit, stored_name(unit).c_str());
    record.titles.push_back({title, unit});
    return c;
}

std::size_t padded(long count) {
    return (std::size_t(std::max(count, 1L)) + LINE_FLOATS - 1) / LINE_FLOATS * LINE_FLOATS;
}

} // namespace lx
