// ASCII case for the names files give: never the locale's, which could turn
// a byte of UTF-8 into another.
#pragma once

#include <string>
#include <string_view>

namespace lx {

constexpr char ascii_lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

inline std::string ascii_lower(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = ascii_lower(c);
    return out;
}

// Text has no control characters but line ends and tabs.
constexpr bool is_plain_text(std::string_view bytes) {
    for (char c : bytes) {
        auto u = static_cast<unsigned char>(c);
        if ((u < ' ' && c != '\t' && c != '\r' && c != '\n') || u == 0x7f) return false;
    }
    return true;
}

} // namespace lx
