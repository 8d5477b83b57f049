// A file read in large blocks but handed out line by line exactly as a
// text-mode stream read with fgets into a 4096-byte buffer would give it.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string_view>

namespace lx {

// fgets with a 4096-byte buffer returns at most this many characters.
constexpr std::size_t LINE_PIECE = 4095;
constexpr std::size_t DEFAULT_BLOCK = 256 * 1024;

struct LineReader {
    std::FILE* file;
    char* buffer;
    std::size_t block;      // bytes the buffer holds
    std::size_t begin, end; // bytes not yet handed out
    bool at_eof;            // nothing more to read from the file
    bool saw_nul;           // a NUL byte was read: lines end at their first NUL
};

// Opens filename for binary reading; false leaves nothing open. block must
// exceed LINE_PIECE. The buffer comes from alloc_zeroed.
enum class OpenResult { ok, no_file, no_memory };
OpenResult open_lines(LineReader& r, const char* filename, std::size_t block = DEFAULT_BLOCK);
void close_lines(LineReader& r);

// The next line, a CR directly before its LF dropped, cut into pieces of at
// most LINE_PIECE characters, and ending at its first NUL as a C string
// would. False at the end of the file (or on a read error).
bool next_line(LineReader& r, std::string_view& line);

// Starts again from the file's first byte; false when the file cannot seek.
bool rewind_lines(LineReader& r);

} // namespace lx
