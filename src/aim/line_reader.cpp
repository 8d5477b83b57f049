#include "aim/line_reader.h"

#include <algorithm>
#include <cstring>

#include "session/session.h"

namespace lx {

namespace {

// Removes every CR that directly precedes an LF in [first, last); returns the
// new end.
char* drop_cr_before_lf(char* first, char* last) {
    char* cr = static_cast<char*>(std::memchr(first, '\r', last - first));
    if (cr == nullptr) return last;
    char* out = cr;
    for (char* in = cr; in != last; ++in)
        if (!(*in == '\r' && in + 1 != last && in[1] == '\n')) *out++ = *in;
    return out;
}

// Moves the unread lines to the front and appends the next block.
void refill(LineReader& r) {
    std::size_t kept = r.end - r.begin;
    std::memmove(r.buffer, r.buffer + r.begin, kept);
    r.begin = 0;
    r.end = kept;
    if (r.at_eof) return;
    std::size_t at = kept;
    if (r.held_cr) r.buffer[at++] = '\r';
    r.held_cr = false;
    std::size_t wanted = r.block - at;
    std::size_t got = std::fread(r.buffer + at, 1, wanted, r.file);
    // fread only comes back short at the end of the file or on an error; the
    // error ends the lines just as it ends fgets.
    if (got < wanted) r.at_eof = true;
    char* fresh = r.buffer + kept;
    char* last = drop_cr_before_lf(fresh, r.buffer + at + got);
    if (!r.at_eof && last != fresh && last[-1] == '\r') {
        r.held_cr = true;
        --last;
    }
    if (!r.saw_nul && std::memchr(fresh, '\0', last - fresh)) r.saw_nul = true;
    r.end = last - r.buffer;
}

} // namespace

OpenResult open_lines(LineReader& r, const char* filename, std::size_t block) {
    r = LineReader{};
    r.file = std::fopen(filename, "rb");
    if (r.file == nullptr) return OpenResult::no_file;
    // Our own buffer is large: stdio's would only add a copy.
    std::setvbuf(r.file, nullptr, _IONBF, 0);
    r.block = block;
    r.buffer = static_cast<char*>(alloc_zeroed(block));
    if (r.buffer == nullptr) {
        std::fclose(r.file);
        r.file = nullptr;
        return OpenResult::no_memory;
    }
    return OpenResult::ok;
}

void close_lines(LineReader& r) {
    if (r.file) std::fclose(r.file);
    release(r.buffer);
    r = LineReader{};
}

bool next_line(LineReader& r, std::string_view& line) {
    std::size_t size;
    for (;;) {
        std::size_t unread = r.end - r.begin;
        const char* start = r.buffer + r.begin;
        auto newline =
            static_cast<const char*>(std::memchr(start, '\n', std::min(unread, LINE_PIECE)));
        if (newline) {
            size = newline - start + 1;
            break;
        }
        if (unread >= LINE_PIECE || (r.at_eof && unread > 0)) {
            size = std::min(unread, LINE_PIECE);
            break;
        }
        if (r.at_eof) return false;
        refill(r);
    }
    const char* start = r.buffer + r.begin;
    r.begin += size;
    if (r.saw_nul) {
        if (auto nul = static_cast<const char*>(std::memchr(start, '\0', size))) size = nul - start;
    }
    line = std::string_view(start, size);
    return true;
}

bool rewind_lines(LineReader& r) {
    if (std::fseek(r.file, 0, SEEK_SET) != 0) return false;
    std::clearerr(r.file);
    r.begin = r.end = 0;
    r.at_eof = r.held_cr = false;
    return true;
}

} // namespace lx
