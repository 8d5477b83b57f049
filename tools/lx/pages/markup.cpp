#include "markup.h"

#include <charconv>
#include <cmath>

namespace lxtool::markup {

namespace {

constexpr std::string_view REPLACEMENT = "\xEF\xBF\xBD"; // U+FFFD

bool continuation(unsigned char c) {
    return (c & 0xC0) == 0x80;
}

// The length of the UTF-8 character that XML allows at text[at], or 0.
std::size_t character_length(std::string_view text, std::size_t at) {
    auto byte = [&](std::size_t k) {
        return at + k < text.size() ? static_cast<unsigned char>(text[at + k]) : 0;
    };
    unsigned char lead = byte(0);
    std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 ? 2 : 0;
    if (lead > 0xF4 || length == 0) return 0;
    for (std::size_t k = 1; k < length; ++k)
        if (!continuation(byte(k))) return 0;
    // no overlong forms, surrogates, values past U+10FFFF, nor U+FFFE and U+FFFF
    unsigned char second = byte(1);
    if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second >= 0xA0) ||
        (lead == 0xF0 && second < 0x90) || (lead == 0xF4 && second >= 0x90))
        return 0;
    if (lead == 0xEF && second == 0xBF && byte(2) >= 0xBE) return 0;
    return length;
}

const char* entity(char c) {
    switch (c) {
    case '&':
        return "&amp;";
    case '<':
        return "&lt;";
    case '>':
        return "&gt;";
    case '"':
        return "&quot;";
    case '\'':
        return "&#39;";
    case '\t':
        return "&#9;";
    case '\n':
        return "&#10;";
    case '\r':
        return "&#13;";
    default:
        return nullptr;
    }
}

std::string attributes_text(Attributes attributes) {
    std::string s;
    for (const Attribute& a : attributes)
        s.append(" ").append(a.name).append("='").append(escape(a.value)).append("'");
    return s;
}

} // namespace

std::string escape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        auto c = static_cast<unsigned char>(text[i]);
        if (const char* e = entity(text[i])) {
            out += e;
        } else if (c < 0x20 || c == 0x7F) {
            out += REPLACEMENT;
        } else if (c < 0x80) {
            out += text[i];
        } else if (std::size_t n = character_length(text, i)) {
            out += text.substr(i, n);
            i += n;
            continue;
        } else {
            out += REPLACEMENT;
        }
        ++i;
    }
    return out;
}

std::string number(double value, int decimals) {
    std::string text(32, '\0');
    for (;;) {
        auto [last, error] = std::to_chars(text.data(), text.data() + text.size(), value,
                                           std::chars_format::fixed, decimals);
        if (error == std::errc()) {
            text.resize(std::size_t(last - text.data()));
            break;
        }
        text.resize(text.size() * 2);
    }
    if (text.find_first_not_of("-0.") == std::string::npos && text[0] == '-') text.erase(0, 1);
    return text;
}

std::string start(std::string_view name, Attributes attributes) {
    return "<" + std::string(name) + attributes_text(attributes) + ">";
}

std::string end(std::string_view name) {
    return "</" + std::string(name) + ">";
}

std::string empty(std::string_view name, Attributes attributes) {
    return "<" + std::string(name) + attributes_text(attributes) + "/>";
}

std::string text(std::string_view name, Attributes attributes, std::string_view content) {
    return start(name, attributes) + escape(content) + end(name);
}

std::string element(std::string_view name, Attributes attributes, std::string_view children) {
    return start(name, attributes).append(children).append(end(name));
}

} // namespace lxtool::markup
