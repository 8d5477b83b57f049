#include "base/output.h"

#include <cstdio>

namespace lx {

void print_to_stdout(void*, const char* format, va_list args) {
    std::vprintf(format, args);
}

void append_to_text(void* text, const char* format, va_list args) {
    auto& out = *static_cast<std::string*>(text);
    va_list again;
    va_copy(again, args);
    int n = std::vsnprintf(nullptr, 0, format, args);
    if (n > 0) {
        auto size = static_cast<std::size_t>(n) + 1;
        std::size_t start = out.size();
        try {
            out.resize(start + size);
            std::vsnprintf(out.data() + start, size, format, again);
            out.pop_back();
        } catch (...) {
            // Out of memory: the line is lost and the routine that printed it goes on.
        }
    }
    va_end(again);
}

void emit(const Sink& sink, const char* format, ...) {
    if (sink.write == nullptr) return;
    va_list args;
    va_start(args, format);
    sink.write(sink.context, format, args);
    va_end(args);
}

} // namespace lx
