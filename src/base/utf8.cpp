#include "base/utf8.h"

#include <cstring>

namespace lx {

namespace {

bool is_continuation(unsigned char c) {
    return (c & 0xC0) == 0x80;
}

// How many bytes follow a lead byte; 4 for a byte that leads nothing.
std::size_t continuation_count(unsigned char lead) {
    return lead < 0x80                   ? 0
           : lead >= 0xC2 && lead < 0xE0 ? 1
           : lead >= 0xE0 && lead < 0xF0 ? 2
           : lead >= 0xF0 && lead < 0xF5 ? 3
                                         : 4;
}

} // namespace

std::string latin1_to_utf8(std::string_view text) {
    std::string out;
    out.reserve(text.size() * 2);
    for (char c : text) {
        auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            out += c;
        } else {
            out += static_cast<char>(0xC0 | byte >> 6);
            out += static_cast<char>(0x80 | (byte & 0x3F));
        }
    }
    return out;
}

bool is_utf8(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        auto lead = static_cast<unsigned char>(text[i]);
        std::size_t extra = continuation_count(lead);
        if (extra == 4 || i + extra >= text.size()) return false;
        auto second = extra ? static_cast<unsigned char>(text[i + 1]) : 0x80;
        // Overlong forms, surrogates and code points past U+10FFFF.
        if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second >= 0xA0) ||
            (lead == 0xF0 && second < 0x90) || (lead == 0xF4 && second >= 0x90))
            return false;
        for (std::size_t k = 1; k <= extra; ++k)
            if (!is_continuation(static_cast<unsigned char>(text[i + k]))) return false;
        i += extra + 1;
    }
    return true;
}

std::string to_utf8(std::string_view text) {
    return is_utf8(text) ? std::string(text) : latin1_to_utf8(text);
}

std::string_view utf8_prefix(std::string_view text, std::size_t limit) {
    if (text.size() <= limit) return text;
    std::size_t cut = limit;
    // Step back over continuation bytes to the start of the cut character.
    while (cut > 0 && is_continuation(static_cast<unsigned char>(text[cut]))) --cut;
    return text.substr(0, cut);
}

void copy_utf8(char* dest, std::size_t size, std::string_view text) {
    if (size == 0) return;
    std::string_view kept = utf8_prefix(text, size - 1);
    std::memcpy(dest, kept.data(), kept.size());
    dest[kept.size()] = '\0';
}

} // namespace lx
