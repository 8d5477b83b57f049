#include "import/csv_lines.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>

#include "base/pages.h"
#include "lx_data.h"

namespace lx {

namespace {
constexpr std::size_t BLOCK = 1024 * 1024;
constexpr std::size_t CAPACITY = BLOCK + MAX_LINE;
constexpr std::string_view BYTE_ORDER_MARK = "\xEF\xBB\xBF";
constexpr std::size_t HEAD_BYTES = 4096; // the Format line lies within

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

// The separator after a line's first field when that field is Format; 0 otherwise.
char format_separator(std::string_view line) {
    if (line.starts_with('"')) line.remove_prefix(1);
    if (!line.starts_with("Format")) return 0;
    line.remove_prefix(6);
    if (line.starts_with('"')) line.remove_prefix(1);
    return line.empty() ? 0 : line[0];
}

// What a row's end tells of it: its fields, whether a quote is left open and
// how long its last field is.
struct RowShape {
    std::size_t fields = 1, last_width = 0;
    bool open_quote = false;
};

RowShape shape_of(std::string_view row, char separator) {
    RowShape shape;
    for (char c : row) {
        if (c == '"') {
            shape.open_quote = !shape.open_quote;
        } else if (c == separator && !shape.open_quote) {
            ++shape.fields;
            shape.last_width = 0;
            continue;
        }
        ++shape.last_width;
    }
    return shape;
}

// A last row without a line end was cut when it has fewer fields than the
// row before, a quote left open, or a last value shorter than that row's
// (an empty one may be a field left empty).
bool looks_cut(std::string_view last, std::string_view before, char separator) {
    RowShape row = shape_of(last, separator), full = shape_of(before, separator);
    if (row.open_quote || row.fields < full.fields) return true;
    return row.fields == full.fields && row.last_width > 0 && row.last_width < full.last_width;
}

bool seek_to(std::FILE* file, std::size_t offset) {
#ifdef _WIN32
    return _fseeki64(file, static_cast<long long>(offset), SEEK_SET) == 0;
#else
    return fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0;
#endif
}

std::string_view without_cr(std::string_view line) {
    if (line.ends_with('\r')) line.remove_suffix(1);
    return line;
}
} // namespace

void refuse(int status, std::string message) {
    throw Refusal{status, std::move(message)};
}

void refuse_at(const CsvLines& lines, long line, const std::string& what) {
    refuse(LX_ERR_FORMAT, lines.path() + ":" + std::to_string(line) + ": " + what);
}

CsvLines::~CsvLines() {
    if (file_) std::fclose(file_);
    unmap_pages(buffer_, capacity_);
}

bool CsvLines::open(const char* path) {
    path_ = path;
    file_ = std::fopen(path, "rb");
    if (file_ == nullptr) return false;
    // A small file gets a buffer of its size.
    long size = std::fseek(file_, 0, SEEK_END) == 0 ? std::ftell(file_) : -1;
    std::rewind(file_);
    size_ = size >= 0 ? std::size_t(size) : 0;
    capacity_ =
        size >= 0 && std::size_t(size) < BLOCK ? std::size_t(size) + MAX_LINE + 1 : CAPACITY;
    buffer_ = static_cast<char*>(map_pages(capacity_));
    if (buffer_ == nullptr) refuse(LX_ERR_MEMORY, path_ + ": out of memory");
    return true;
}

std::string CsvLines::tail(std::size_t bytes) {
    bytes = std::min(bytes, size_);
    std::string text(bytes, '\0');
    if (!seek_to(file_, size_ - bytes) || std::fread(text.data(), 1, bytes, file_) != bytes)
        refuse(LX_ERR_FILE, path_ + ": read error");
    return text;
}

void CsvLines::read_as_csv() {
    std::string head(std::min(HEAD_BYTES, size_), '\0');
    std::rewind(file_);
    head.resize(std::fread(head.data(), 1, head.size(), file_));
    std::string_view text = head;
    if (text.starts_with(BYTE_ORDER_MARK)) text.remove_prefix(BYTE_ORDER_MARK.size());
    for (std::size_t at = 0; at < text.size(); at = text.find('\n', at) + 1) {
        if (char separator = format_separator(text.substr(at)); separator != 0) {
            semicolons_ = separator == ';';
            break;
        }
        if (text.find('\n', at) == std::string_view::npos) break;
    }
    std::string end = tail(2 * MAX_LINE + 2);
    std::rewind(file_);
    if (end.empty() || end.back() == '\n') return;
    std::size_t newline = end.rfind('\n');
    if (newline == std::string::npos) return; // one line, or one too long: refused as read
    std::string_view last(end.data() + newline + 1, end.size() - newline - 1);
    std::string_view rest = std::string_view(end).substr(0, newline), before;
    while (before.empty() && !rest.empty()) {
        std::size_t start = rest.rfind('\n');
        start = start == std::string_view::npos ? 0 : start + 1;
        before = without_cr(rest.substr(start));
        rest = rest.substr(0, start == 0 ? 0 : start - 1);
    }
    if (before.empty() || !looks_cut(last, before, semicolons_ ? ';' : ',')) return;
    cut_ = true;
    size_ -= last.size();
}

// A semicolon-separated line read as a comma-separated one, in place: a
// comma between digits is a decimal point, any other outside quotes a
// semicolon (the field stays whole), and semicolons outside quotes separate.
void CsvLines::to_comma_separated(char* p, std::size_t n) const {
    bool quoted = false;
    for (std::size_t i = 0; i < n; ++i) {
        char c = p[i];
        if (c == '"') {
            quoted = !quoted;
        } else if (c == ',') {
            bool decimal = i > 0 && i + 1 < n && is_digit(p[i - 1]) && is_digit(p[i + 1]);
            if (decimal || !quoted) p[i] = decimal ? '.' : ';';
        } else if (c == ';' && !quoted) {
            p[i] = ',';
        }
    }
}

void CsvLines::refill() {
    std::size_t kept = end_ - begin_;
    std::memmove(buffer_, buffer_ + begin_, kept);
    begin_ = 0;
    end_ = kept;
    // Never past a cut last row: size_ then ends before it.
    std::size_t room = capacity_ - end_;
    if (cut_) room = std::min(room, size_ > read_ ? size_ - read_ : 0);
    std::size_t got = room == 0 ? 0 : std::fread(buffer_ + end_, 1, room, file_);
    if (std::ferror(file_)) refuse(LX_ERR_FILE, path_ + ": read error");
    if (got == 0) eof_ = true;
    end_ += got;
    read_ += got;
}

bool CsvLines::next(std::string_view& line) {
    const char* newline = nullptr;
    for (;;) {
        const char* start = buffer_ + begin_;
        newline = static_cast<const char*>(std::memchr(start, '\n', end_ - begin_));
        if (newline != nullptr || eof_) break;
        if (end_ - begin_ > MAX_LINE) break;
        refill();
    }
    char* start = buffer_ + begin_;
    if (newline == nullptr && begin_ == end_) {
        if (cut_) cut_line_ = line_number_ + 1;
        return false;
    }
    std::size_t length = newline ? std::size_t(newline - start) : end_ - begin_;
    ++line_number_;
    if (length > MAX_LINE)
        refuse_at(*this, line_number_, "line longer than " + std::to_string(MAX_LINE) + " bytes");
    begin_ += newline ? length + 1 : length;
    if (length > 0 && start[length - 1] == '\r') --length;
    if (semicolons_) to_comma_separated(start, length);
    line = std::string_view(start, length);
    if (line_number_ == 1 && line.starts_with(BYTE_ORDER_MARK))
        line.remove_prefix(BYTE_ORDER_MARK.size());
    return true;
}

void CsvLines::rewind() {
    if (std::fseek(file_, 0, SEEK_SET) != 0) refuse(LX_ERR_FILE, path_ + ": cannot seek");
    std::clearerr(file_);
    begin_ = end_ = read_ = 0;
    eof_ = false;
    line_number_ = 0;
}

namespace {

// A quoted field from just after its opening quote; returns where it ends.
const char* quoted_field(const CsvLines& lines, const char* p, const char* end,
                         std::string_view& field, std::string& scratch) {
    // A loop, not memchr: fields are short and the call would cost more.
    const char* close = p;
    while (close != end && *close != '"') ++close;
    if (close == end) refuse_at(lines, lines.line_number(), "a quote is not closed");
    if (close + 1 == end || close[1] != '"') {
        field = std::string_view(p, close - p);
        return close + 1;
    }
    // Doubled quotes: rebuild the field in scratch, which never reallocates
    // because it was reserved for the whole line.
    std::size_t at = scratch.size();
    for (;;) {
        scratch.append(p, close);
        if (close + 1 != end && close[1] == '"') {
            scratch += '"';
            p = close + 2;
            close = static_cast<const char*>(std::memchr(p, '"', end - p));
            if (close == nullptr) refuse_at(lines, lines.line_number(), "a quote is not closed");
            continue;
        }
        field = std::string_view(scratch).substr(at);
        return close + 1;
    }
}

} // namespace

void split_fields(const CsvLines& lines, std::string_view line,
                  std::vector<std::string_view>& fields, std::string& scratch,
                  std::size_t max_fields) {
    fields.clear();
    scratch.clear();
    scratch.reserve(line.size());
    const char* p = line.data();
    const char* end = p + line.size();
    for (;;) {
        std::string_view field;
        if (p != end && *p == '"') {
            p = quoted_field(lines, p + 1, end, field, scratch);
            if (p != end && *p != ',')
                refuse_at(lines, lines.line_number(), "text after a closing quote");
        } else {
            const char* comma = p;
            while (comma != end && *comma != ',') ++comma;
            field = std::string_view(p, comma - p);
            p = comma;
        }
        fields.push_back(field);
        if (p == end || fields.size() == max_fields) return;
        ++p; // the comma
    }
}

NumberKind read_number_general(std::string_view field, double& value) {
    const char* p = field.data();
    const char* end = p + field.size();
    while (p != end && *p == ' ') ++p;
    while (p != end && end[-1] == ' ') --end;
    if (p == end) return NumberKind::empty;
    if (read_plain_number(p, end, value)) return NumberKind::number;
    bool negative = *p == '-';
    if (*p == '-' || *p == '+') ++p;
    if (p == end || *p == '-' || *p == '+' || *p == 'n' || *p == 'N' || *p == 'i' || *p == 'I')
        return NumberKind::bad;
    double magnitude;
    auto [stop, error] = std::from_chars(p, end, magnitude);
    if (error != std::errc() || stop != end || !std::isfinite(magnitude)) return NumberKind::bad;
    value = negative ? -magnitude : magnitude;
    return NumberKind::number;
}

} // namespace lx
