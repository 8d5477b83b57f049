// Where the library's printed lines go: a sink each routine is handed by its
// caller. The exports of lx.h hand down standard output; the data API a sink
// that keeps the lines for its message, or none.
#pragma once

#include <cstdarg>
#include <string>

namespace lx {

#if defined(__GNUC__)
#define LX_PRINTF_LIKE(f, a) __attribute__((format(printf, f, a)))
#else
#define LX_PRINTF_LIKE(f, a)
#endif

struct Sink {
    using Write = void (*)(void* context, const char* format, va_list args);
    Write write;   // null: the lines go nowhere
    void* context; // handed to write
};

void print_to_stdout(void* context, const char* format, va_list args);
void append_to_text(void* text, const char* format, va_list args);

inline constexpr Sink STANDARD_OUTPUT{print_to_stdout, nullptr};
inline constexpr Sink NO_OUTPUT{nullptr, nullptr};
// The lines go to the end of text.
inline Sink text_sink(std::string& text) {
    return {append_to_text, &text};
}

// Every line the library prints goes through here.
void emit(const Sink& sink, const char* format, ...) LX_PRINTF_LIKE(2, 3);

} // namespace lx
