// A small JSON writer for --json and the pages: RFC 8259 strings ('<' as
// \u003c, so that a page may hold the text in a script), numbers rounded to
// the precision the tables print, null for NaN.
#pragma once

#include <string>
#include <vector>

namespace lxtool {

class Json {
  public:
    Json& begin_object(const char* key = nullptr);
    Json& end_object();
    Json& begin_array(const char* key = nullptr);
    Json& end_array();
    // A member of the enclosing object (key given) or an element of an array.
    Json& text(const char* key, const std::string& value);
    Json& number(const char* key, double value, int decimals);
    Json& integer(const char* key, long long value);
    Json& boolean(const char* key, bool value);
    Json& null(const char* key);
    // A value already written as JSON.
    Json& raw(const char* key, const std::string& json);
    // The document so far, and a newline once it is whole.
    std::string str() const { return out_ + (depth_ == 0 ? "\n" : ""); }

  private:
    void start(const char* key);
    std::string out_;
    int depth_ = 0;
    bool first_ = true;
};

std::string json_string(const std::string& text);
// The shortest text that reads back as value rounded to decimals; "null" for NaN.
std::string json_number(double value, int decimals);

} // namespace lxtool
