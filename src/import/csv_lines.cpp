#include "import/csv_lines.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "base/pages.h"
#include "lx_data.h"

namespace lx {

namespace {
constexpr std::size_t BLOCK = 1024 * 1024;
constexpr std::size_t CAPACITY = BLOCK + MAX_LINE;
constexpr std::string_view BYTE_ORDER_MARK = "\xEF\xBB\xBF";
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

void CsvLines::refill() {
    std::size_t kept = end_ - begin_;
    std::memmove(buffer_, buffer_ + begin_, kept);
    begin_ = 0;
    end_ = kept;
    std::size_t got = std::fread(buffer_ + end_, 1, capacity_ - end_, file_);
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
    const char* start = buffer_ + begin_;
    if (newline == nullptr && begin_ == end_) return false;
    std::size_t length = newline ? std::size_t(newline - start) : end_ - begin_;
    ++line_number_;
    if (length > MAX_LINE)
        refuse_at(*this, line_number_, "line longer than " + std::to_string(MAX_LINE) + " bytes");
    begin_ += newline ? length + 1 : length;
    if (length > 0 && start[length - 1] == '\r') --length;
    line = std::string_view(start, length);
    if (line_number_ == 1 && line.starts_with(BYTE_ORDER_MARK)) line.remove_prefix(3);
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
