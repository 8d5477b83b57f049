// SHA-256 of a file's bytes (OpenSSL's), as Python's hashlib gives it, so both writers of
// a season database key sessions alike.
#pragma once

#include <optional>
#include <string>

namespace lxtool {

// Lower-case hex digest; nullopt when the file cannot be read.
std::optional<std::string> sha256_of_file(const std::string& path);

} // namespace lxtool
