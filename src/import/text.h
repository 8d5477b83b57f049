// Texts of the CSV headers: converted to UTF-8 and turned into the names the
// text-export reader would have stored for them.
#pragma once

#include <string>
#include <string_view>

namespace lx {

// UTF-8 as it is; anything else taken as Latin-1 and converted.
std::string to_utf8(std::string_view text);

// The text-export reader's rule for a title: characters ' ' to '/' become
// '_', brackets, control characters and non-ASCII bytes go, trailing '_' go;
// at most 127 characters.
std::string stored_name(std::string_view utf8);

// Lower case with blanks, '_' and '-' removed: "GPS_Latitude" -> "gpslatitude".
std::string match_key(std::string_view text);

// Copies into a fixed field without splitting a UTF-8 character.
void copy_utf8(char* dest, std::size_t size, const std::string& text);

} // namespace lx
