#include "import/csv_lines.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

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
}

bool CsvLines::open(const char* path) {
    path_ = path;
    file_ = std::fopen(path, "rb");
    if (file_ == nullptr) return false;
    buffer_.reset(new char[CAPACITY]);
    return true;
}

void CsvLines::refill() {
    std::size_t kept = end_ - begin_;
    std::memmove(buffer_.get(), buffer_.get() + begin_, kept);
    begin_ = 0;
    end_ = kept;
    std::size_t got = std::fread(buffer_.get() + end_, 1, CAPACITY - end_, file_);
    if (std::ferror(file_)) refuse(LX_ERR_FILE, path_ + ": read error");
    if (got == 0) eof_ = true;
    end_ += got;
}

bool CsvLines::next(std::string_view& line) {
    const char* newline = nullptr;
    for (;;) {
        const char* start = buffer_.get() + begin_;
        newline = static_cast<const char*>(std::memchr(start, '\n', end_ - begin_));
        if (newline != nullptr || eof_) break;
        if (end_ - begin_ > MAX_LINE) break;
        refill();
    }
    const char* start = buffer_.get() + begin_;
    if (newline == nullptr && begin_ == end_) return false;
    std::size_t length = newline ? std::size_t(newline - start) : end_ - begin_;
    ++line_number_;
    if (length > MAX_LINE)
        refuse_at(*this, line_number_,
                  "line longer than " + std::to_string(MAX_LINE) + " bytes");
    begin_ += newline ? length + 1 : length;
    if (length > 0 && start[length - 1] == '\r') --length;
    line = std::string_view(start, length);
    if (line_number_ == 1 && line.starts_with(BYTE_ORDER_MARK)) line.remove_prefix(3);
    return true;
}

void CsvLines::rewind() {
    if (std::fseek(file_, 0, SEEK_SET) != 0) refuse(LX_ERR_FILE, path_ + ": cannot seek");
    std::clearerr(file_);
    begin_ = end_ = 0;
    eof_ = false;
    line_number_ = 0;
}

namespace {

// A quoted field from just after its opening quote; returns where it ends.
const char* quoted_field(const CsvLines& lines, const char* p, const char* end,
                         std::string_view& field, std::string& scratch) {
    const char* close = static_cast<const char*>(std::memchr(p, '"', end - p));
    if (close == nullptr) refuse_at(lines, lines.line_number(), "a quote is not closed");
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
                  std::vector<std::string_view>& fields, std::string& scratch) {
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
        if (p == end) return;
        ++p; // the comma
    }
}

NumberKind read_number(std::string_view field, double& value) {
    while (!field.empty() && field.front() == ' ') field.remove_prefix(1);
    while (!field.empty() && field.back() == ' ') field.remove_suffix(1);
    if (field.empty()) return NumberKind::empty;
    const char* p = field.data();
    const char* end = p + field.size();
    bool negative = *p == '-';
    if (*p == '-' || *p == '+') ++p;
    if (p != end && (*p == '-' || *p == '+')) return NumberKind::bad;
    // Digits with one point and at most 15 of them: the quotient of two
    // exact doubles, correctly rounded like from_chars.
    static constexpr double powers_of_ten[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                               1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    std::uint64_t mantissa = 0;
    int digits = 0, fraction = -1;
    const char* q = p;
    for (; q != end; ++q) {
        if (unsigned(*q - '0') < 10) {
            mantissa = mantissa * 10 + unsigned(*q - '0');
            ++digits;
            if (fraction >= 0) ++fraction;
        } else if (*q == '.' && fraction < 0) {
            fraction = 0;
        } else {
            break;
        }
    }
    if (q == end && digits > 0 && digits <= 15) {
        double magnitude = double(mantissa) / powers_of_ten[fraction < 0 ? 0 : fraction];
        value = negative ? -magnitude : magnitude;
        return NumberKind::number;
    }
    if (p != end && (*p == 'n' || *p == 'N' || *p == 'i' || *p == 'I')) return NumberKind::bad;
    double magnitude;
    auto [stop, error] = std::from_chars(p, end, magnitude);
    if (error != std::errc() || stop != end || !std::isfinite(magnitude)) return NumberKind::bad;
    value = negative ? -magnitude : magnitude;
    return NumberKind::number;
}

} // namespace lx
