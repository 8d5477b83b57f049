// Shared pieces of the CSV readers: whole lines from a file read in blocks,
// fields split at commas with quotes removed, and numbers read in double.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace lx {

// Longer lines are refused: no export we read comes near it.
constexpr std::size_t MAX_LINE = 64 * 1024;

class CsvLines {
  public:
    CsvLines() = default;
    CsvLines(const CsvLines&) = delete;
    CsvLines& operator=(const CsvLines&) = delete;
    ~CsvLines();

    bool open(const char* path); // false: the file cannot be opened
    // For the CSV exports: the separator from the file's Format line (';'
    // turns into ',' and a decimal comma into '.' as lines are read), and a
    // last row the file ends inside of left unread. Call once, after open.
    void read_as_csv();
    // The line the file ends inside of, once the lines before it were read; 0
    // when the file ends with a whole row.
    long cut_line() const { return cut_line_; }
    // The next line without its CR LF or LF; false at the end of the file.
    // Throws Refusal for a line over MAX_LINE bytes or a read error.
    bool next(std::string_view& line);
    void rewind(); // throws Refusal when the file cannot seek
    long line_number() const { return line_number_; }
    // Bytes after the last line returned, by the file's size when opened: an
    // estimate for reserving room.
    std::size_t bytes_left() const { return size_ >= read_ ? size_ - read_ + (end_ - begin_) : 0; }
    const std::string& path() const { return path_; }

  private:
    void refill();
    std::string tail(std::size_t bytes);
    void to_comma_separated(char* p, std::size_t n) const;
    std::FILE* file_ = nullptr;
    char* buffer_ = nullptr; // capacity_ bytes from map_pages
    std::size_t capacity_ = 0;
    std::size_t begin_ = 0, end_ = 0;
    bool eof_ = false;
    std::size_t size_ = 0, read_ = 0; // the file's size and the bytes read from it
    long line_number_ = 0;
    std::string path_;
    bool semicolons_ = false;
    bool cut_ = false; // size_ stops before a cut last row
    long cut_line_ = 0;
};

// Splits a line at commas; a field in double quotes may hold commas and ""
// for a quote. Fields point into the line or into scratch. Throws Refusal
// (naming the line) for text after a closing quote or a quote left open.
// Stops after max_fields fields.
void split_fields(const CsvLines& lines, std::string_view line,
                  std::vector<std::string_view>& fields, std::string& scratch,
                  std::size_t max_fields = SIZE_MAX);

enum class NumberKind { number, empty, bad };

// [-]digits[.digits] with 1 to 15 digits, the common field, read from p up to
// the first character outside that form: returns where it stopped, or null
// when what it read is not such a number. The value is the quotient of two
// exact doubles, so correctly rounded as from_chars would give it.
inline const char* scan_plain_number(const char* p, const char* end, double& value) {
    static constexpr double powers_of_ten[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                               1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    bool negative = p != end && *p == '-';
    const char* q = p + (negative ? 1 : 0);
    const char* digits_start = q;
    std::uint64_t mantissa = 0;
    while (q != end && unsigned(*q - '0') < 10) mantissa = mantissa * 10 + unsigned(*q++ - '0');
    long digits = q - digits_start, fraction = 0;
    if (q != end && *q == '.') {
        const char* first = ++q;
        while (q != end && unsigned(*q - '0') < 10) mantissa = mantissa * 10 + unsigned(*q++ - '0');
        fraction = q - first;
        digits += fraction;
    }
    if (digits == 0 || digits > 15) return nullptr;
    double magnitude =
        fraction == 0 ? double(mantissa) : double(mantissa) / powers_of_ten[fraction];
    value = negative ? -magnitude : magnitude;
    return q;
}

// The whole of [p, end) as a plain number.
inline bool read_plain_number(const char* p, const char* end, double& value) {
    double v;
    const char* stop = scan_plain_number(p, end, v);
    if (stop == nullptr || stop != end) return false;
    value = v;
    return true;
}

// Blanks around, signs, exponents; "nan" and "inf" are refused.
NumberKind read_number_general(std::string_view field, double& value);

// A field as a finite double.
inline NumberKind read_number(std::string_view field, double& value) {
    if (read_plain_number(field.data(), field.data() + field.size(), value))
        return NumberKind::number;
    return read_number_general(field, value);
}

// The failure every reader step raises: caught once, at the top.
struct Refusal {
    int status;
    std::string message;
};
[[noreturn]] void refuse(int status, std::string message);
// "FILE:LINE: what" as a FORMAT refusal.
[[noreturn]] void refuse_at(const CsvLines& lines, long line, const std::string& what);

} // namespace lx
