#include "base/output.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

#include "base/parallel.h"

namespace lx {

namespace {

// Each thread captures its own lines: a program's threads, and the data API's
// calls on them, keep apart what each one's core printed.
LX_PER_THREAD bool capture_on = false;
std::string& log_text() {
    static LX_PER_THREAD std::string text;
    return text;
}

void append_to_log(const char* format, va_list args) {
    char line[512];
    va_list again;
    va_copy(again, args);
    int n = std::vsnprintf(line, sizeof line, format, args);
    std::string& log = log_text();
    try {
        if (n < 0) {
            va_end(again);
            return;
        }
        if (static_cast<std::size_t>(n) < sizeof line) {
            log.append(line, static_cast<std::size_t>(n));
        } else {
            std::string long_line(static_cast<std::size_t>(n) + 1, '\0');
            std::vsnprintf(long_line.data(), long_line.size(), format, again);
            long_line.pop_back();
            log += long_line;
        }
        if (log.size() > LOG_CAPACITY) log.erase(0, log.size() - LOG_CAPACITY);
    } catch (...) {
        // Out of memory: the line is lost, the library goes on.
    }
    va_end(again);
}

} // namespace

void emit(const char* format, ...) {
    va_list args;
    va_start(args, format);
    if (capture_on)
        append_to_log(format, args);
    else
        std::vprintf(format, args);
    va_end(args);
}

void set_capture(bool on) {
    capture_on = on;
}
bool capturing() {
    return capture_on;
}
const char* captured_log() {
    return log_text().c_str();
}
std::size_t captured_length() {
    return log_text().size();
}
void clear_log() {
    log_text().clear();
}

} // namespace lx
