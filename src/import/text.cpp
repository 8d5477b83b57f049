#include "import/text.h"

#include <cstring>

#include "session/session.h"

namespace lx {

namespace {

bool is_continuation(unsigned char c) { return (c & 0xC0) == 0x80; }

// The length of the UTF-8 sequence starting at text[i], or 0 when invalid.
std::size_t utf8_sequence(std::string_view text, std::size_t i) {
    auto c = static_cast<unsigned char>(text[i]);
    std::size_t n = c < 0x80 ? 1 : c >= 0xC2 && c < 0xE0 ? 2 : c >= 0xE0 && c < 0xF0 ? 3
                                   : c >= 0xF0 && c < 0xF5 ? 4 : 0;
    if (n == 0 || i + n > text.size()) return 0;
    for (std::size_t k = 1; k < n; ++k)
        if (!is_continuation(static_cast<unsigned char>(text[i + k]))) return 0;
    return n;
}

} // namespace

std::string to_utf8(std::string_view text) {
    bool valid = true;
    for (std::size_t i = 0; i < text.size() && valid;) {
        std::size_t n = utf8_sequence(text, i);
        valid = n != 0;
        i += n;
    }
    if (valid) return std::string(text);
    std::string out;
    for (char ch : text) {
        auto c = static_cast<unsigned char>(ch);
        if (c < 0x80) {
            out += ch;
        } else {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::string stored_name(std::string_view utf8) {
    std::string name;
    for (char ch : utf8) {
        auto c = static_cast<signed char>(ch);
        if (c < ' ' || c == '[' || c == ']') continue;
        name += c <= '/' ? '_' : ch;
    }
    if (name.size() > TEXT_SIZE - 1) name.resize(TEXT_SIZE - 1);
    while (!name.empty() && name.back() == '_') name.pop_back();
    return name;
}

std::string match_key(std::string_view text) {
    std::string key;
    for (char c : text) {
        if (c == ' ' || c == '_' || c == '-') continue;
        key += c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    }
    return key;
}

void copy_utf8(char* dest, std::size_t size, const std::string& text) {
    std::size_t n = text.size() < size ? text.size() : size - 1;
    while (n > 0 && n < text.size() && is_continuation(static_cast<unsigned char>(text[n]))) --n;
    std::memcpy(dest, text.data(), n);
    dest[n] = '\0';
}

} // namespace lx
