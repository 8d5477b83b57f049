// The channel titles and units of a text export as its title row wrote them,
// which the reader's title rule turns into stored names.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "session/record.h"

namespace lx::data {

// One entry per channel the reader makes of row, in UTF-8 (bytes that are not
// valid UTF-8 are read as Latin-1).
std::vector<ChannelTitle> written_titles(std::string_view row);

} // namespace lx::data
