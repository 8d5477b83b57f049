// Shared pieces of the CSV readers: whole lines from a file read in blocks,
// fields split at commas with quotes removed, and numbers read in double.
#pragma once

#include <cstdio>
#include <memory>
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
    // The next line without its CR LF or LF; false at the end of the file.
    // Throws Refusal for a line over MAX_LINE bytes or a read error.
    bool next(std::string_view& line);
    void rewind(); // throws Refusal when the file cannot seek
    long line_number() const { return line_number_; }
    const std::string& path() const { return path_; }

  private:
    void refill();
    std::FILE* file_ = nullptr;
    std::unique_ptr<char[]> buffer_;
    std::size_t begin_ = 0, end_ = 0;
    bool eof_ = false;
    long line_number_ = 0;
    std::string path_;
};

// Splits a line at commas; a field in double quotes may hold commas and ""
// for a quote. Fields point into the line or into scratch. Throws Refusal
// (naming the line) for text after a closing quote or a quote left open.
void split_fields(const CsvLines& lines, std::string_view line,
                  std::vector<std::string_view>& fields, std::string& scratch);

enum class NumberKind { number, empty, bad };

// A field as a finite double: blanks around it allowed, "nan" and "inf" not.
NumberKind read_number(std::string_view field, double& value);

// The failure every reader step raises: caught once, at the top.
struct Refusal {
    int status;
    std::string message;
};
[[noreturn]] void refuse(int status, std::string message);
// "FILE:LINE: what" as a FORMAT refusal.
[[noreturn]] void refuse_at(const CsvLines& lines, long line, const std::string& what);

} // namespace lx
