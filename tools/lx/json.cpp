#include "json.h"

#include <charconv>
#include <cmath>

namespace lxtool {

std::string json_string(const std::string& text) {
    static const char* const HEX = "0123456789abcdef";
    std::string s = "\"";
    for (char ch : text) {
        auto c = static_cast<unsigned char>(ch);
        if (c == '"' || c == '\\') {
            s += '\\';
            s += ch;
        } else if (c == '\n') {
            s += "\\n";
        } else if (c == '\t') {
            s += "\\t";
        } else if (c < 0x20 || c == '<' || c == 0x7f) {
            s += "\\u00";
            s += HEX[c >> 4];
            s += HEX[c & 15];
        } else {
            s += ch;
        }
    }
    return s + "\"";
}

std::string json_number(double value, int decimals) {
    if (!std::isfinite(value)) return "null";
    double scale = std::pow(10.0, decimals);
    double rounded = std::round(value * scale) / scale;
    if (rounded == 0) rounded = 0; // no "-0"
    std::string text(32, '\0');    // the longest shortest form of a double is 24 characters
    auto [end, error] = std::to_chars(text.data(), text.data() + text.size(), rounded);
    text.resize(error == std::errc() ? std::size_t(end - text.data()) : 0);
    return text.empty() ? "null" : text;
}

void Json::start(const char* key) {
    if (!first_) out_ += ',';
    first_ = false;
    if (key) out_ += json_string(key) + ':';
}

Json& Json::begin_object(const char* key) {
    start(key);
    out_ += '{';
    ++depth_;
    first_ = true;
    return *this;
}

Json& Json::end_object() {
    out_ += '}';
    --depth_;
    first_ = false;
    return *this;
}

Json& Json::begin_array(const char* key) {
    start(key);
    out_ += '[';
    ++depth_;
    first_ = true;
    return *this;
}

Json& Json::end_array() {
    out_ += ']';
    --depth_;
    first_ = false;
    return *this;
}

Json& Json::text(const char* key, const std::string& value) {
    start(key);
    out_ += json_string(value);
    return *this;
}

Json& Json::number(const char* key, double value, int decimals) {
    start(key);
    out_ += json_number(value, decimals);
    return *this;
}

Json& Json::integer(const char* key, long long value) {
    start(key);
    out_ += std::to_string(value);
    return *this;
}

Json& Json::boolean(const char* key, bool value) {
    start(key);
    out_ += value ? "true" : "false";
    return *this;
}

Json& Json::raw(const char* key, const std::string& json) {
    start(key);
    out_ += json;
    return *this;
}

Json& Json::null(const char* key) {
    start(key);
    out_ += "null";
    return *this;
}

} // namespace lxtool
