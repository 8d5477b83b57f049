#include "import/text.h"
#include "base/ascii.h"

#include <cstring>

#include "session/session.h"

namespace lx {

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
        key += ascii_lower(c);
    }
    return key;
}

} // namespace lx
