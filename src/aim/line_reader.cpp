#include "aim/line_reader.h"

#include <algorithm>
#include <cstring>

#include "session/session.h"

namespace lx {

namespace {

// Moves the unread bytes to the front and appends the next block.
void refill(LineReader& r) {
    std::size_t kept = r.end - r.begin;
    std::memmove(r.buffer, r.buffer + r.begin, kept);
    r.begin = 0;
    r.end = kept;
    std::size_t wanted = r.block - kept;
    std::size_t got = std::fread(r.buffer + kept, 1, wanted, r.file);
    // fread only comes back short at the end of the file or on an error; the
    // error ends the lines just as it ends fgets.
    if (got < wanted) r.at_eof = true;
    if (!r.saw_nul && std::memchr(r.buffer + kept, '\0', got)) r.saw_nul = true;
    r.end = kept + got;
}

struct Piece {
    std::size_t bytes; // taken from the buffer
    std::size_t size;  // handed out: a CR before the LF is dropped
    bool crlf;
};

// The window holds the next piece's bytes and one more, so that a CR LF pair
// is never split.
Piece find_piece(const char* start, std::size_t unread) {
    std::size_t window = std::min(unread, LINE_PIECE + 1);
    if (auto newline = static_cast<const char*>(std::memchr(start, '\n', window))) {
        std::size_t at = newline - start;
        bool crlf = at > 0 && newline[-1] == '\r';
        std::size_t size = crlf ? at : at + 1;
        if (size <= LINE_PIECE) return {at + 1, size, crlf};
    }
    // Without a line end in reach, the first LINE_PIECE bytes hold no CR LF.
    std::size_t size = std::min(unread, LINE_PIECE);
    return {size, size, false};
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
    while (r.end - r.begin <= LINE_PIECE && !r.at_eof) refill(r);
    std::size_t unread = r.end - r.begin;
    if (unread == 0) return false;
    char* start = r.buffer + r.begin;
    Piece piece = find_piece(start, unread);
    if (piece.crlf) start[piece.size - 1] = '\n'; // the CR stands in for the LF it preceded
    r.begin += piece.bytes;
    std::size_t size = piece.size;
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
    r.at_eof = false;
    return true;
}

} // namespace lx
