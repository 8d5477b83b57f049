#include "data/titles.h"

#include "base/utf8.h"

namespace lx::data {

namespace {

constexpr std::string_view BYTE_ORDER_MARK = "\xEF\xBB\xBF";

bool is_control(char c) {
    return static_cast<unsigned char>(c) < ' ';
}

// Without the blanks and control bytes at either end; control bytes inside
// (a tab between two titles the reader ran together) become spaces.
std::string tidy(std::string_view text) {
    auto blank = [](char c) { return c == ' ' || is_control(c); };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    std::string out(text);
    for (char& c : out)
        if (is_control(c)) c = ' ';
    return out;
}

// "Engine RPM [rpm]": the title before the first '[', the unit inside.
ChannelTitle split_title(std::string_view span) {
    std::size_t open = span.find('[');
    if (open == std::string_view::npos) return {tidy(span), ""};
    std::string_view unit = span.substr(open + 1);
    std::size_t close = unit.rfind(']');
    if (close != std::string_view::npos) unit = unit.substr(0, close);
    return {tidy(span.substr(0, open)), tidy(unit)};
}

} // namespace

std::vector<ChannelTitle> written_titles(const std::vector<std::string>& texts) {
    std::string row;
    for (const std::string& text : texts) row += text;
    bool latin1 = !is_utf8(row); // one encoding for the whole row
    std::vector<ChannelTitle> titles;
    for (const std::string& text : texts) {
        std::string converted = latin1 ? latin1_to_utf8(text) : text;
        std::string_view span = converted;
        if (titles.empty() && span.starts_with(BYTE_ORDER_MARK))
            span.remove_prefix(BYTE_ORDER_MARK.size());
        titles.push_back(split_title(span));
    }
    return titles;
}

} // namespace lx::data
