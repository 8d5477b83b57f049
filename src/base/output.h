// Where the library's printed lines go: standard output, or a capture log that
// a program reads back instead.
#pragma once

#include <cstddef>

namespace lx {

#if defined(__GNUC__)
#define LX_PRINTF_LIKE(f, a) __attribute__((format(printf, f, a)))
#else
#define LX_PRINTF_LIKE(f, a)
#endif

// Every line the library prints goes through here.
void emit(const char* format, ...) LX_PRINTF_LIKE(1, 2);

// While capturing (a switch of the calling thread), emitted text is appended to the log instead of
// printed. The log keeps its newest bytes when it would grow past LOG_CAPACITY.
constexpr std::size_t LOG_CAPACITY = 64 * 1024;
void set_capture(bool on);
bool capturing();
// The text emitted since the last clear_log.
const char* captured_log();
std::size_t captured_length();
void clear_log();

} // namespace lx
