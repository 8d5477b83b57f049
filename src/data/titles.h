// The channel titles and units of a text export as its title row wrote them,
// from the text the reader found for each channel.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "session/record.h"

namespace lx::data {

// One entry per text of the reader's, in UTF-8 (bytes that are not valid
// UTF-8 are read as Latin-1).
std::vector<ChannelTitle> written_titles(const std::vector<std::string>& texts);

} // namespace lx::data
