// Texts of the CSV headers: converted to UTF-8 and turned into the names the
// text-export reader would have stored for them.
#pragma once

#include <string>
#include <string_view>

#include "base/utf8.h"

namespace lx {

// The text-export reader's rule for a title: characters ' ' to '/' become
// '_', brackets, control characters and non-ASCII bytes go, trailing '_' go;
// at most 127 characters.
std::string stored_name(std::string_view utf8);

// Lower case with blanks, '_' and '-' removed: "GPS_Latitude" -> "gpslatitude".
std::string match_key(std::string_view text);

} // namespace lx
