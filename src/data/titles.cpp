#include "data/titles.h"

#include "base/utf8.h"

namespace lx::data {

namespace {

constexpr std::string_view BYTE_ORDER_MARK = "\xEF\xBB\xBF";

bool is_control(char c) {
    return static_cast<unsigned char>(c) < ' ';
}

// The reader ends a title at a byte it keeps (none below a space, taken as
// signed) that is followed by a tab or the row's end; other bytes go on into
// the same title. The spans end at those bytes.
std::vector<std::string_view> title_spans(std::string_view row) {
    std::vector<std::string_view> spans;
    std::size_t start = 0;
    for (std::size_t i = 0; i < row.size(); ++i) {
        if (static_cast<signed char>(row[i]) < ' ') continue;
        if (i + 1 == row.size() || row[i + 1] == '\t') {
            spans.push_back(row.substr(start, i + 1 - start));
            start = i + 1;
        }
    }
    return spans;
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

std::vector<ChannelTitle> written_titles(std::string_view row) {
    std::string converted = to_utf8(row);
    row = converted;
    if (row.starts_with(BYTE_ORDER_MARK)) row.remove_prefix(BYTE_ORDER_MARK.size());
    std::vector<ChannelTitle> titles;
    for (std::string_view span : title_spans(row)) titles.push_back(split_title(span));
    return titles;
}

} // namespace lx::data
