// The block reader hands out the same lines as fgets with a 4096-byte buffer
// on a text-mode stream, wherever its blocks happen to end.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "aim/line_reader.h"
#include "support.h"

namespace {

using Lines = std::vector<std::string>;

Lines fgets_lines(const std::string& raw) {
    std::string text_mode = raw; // a CR directly before an LF is dropped
    for (std::size_t at = 0; (at = text_mode.find("\r\n", at)) != std::string::npos;)
        text_mode.erase(at, 1);
    std::FILE* f = std::fopen(lxtest::write_temp_file(text_mode).c_str(), "rb");
    Lines lines;
    char buffer[4096];
    while (std::fgets(buffer, sizeof buffer, f)) lines.emplace_back(buffer);
    std::fclose(f);
    return lines;
}

Lines block_lines(const std::string& raw, std::size_t block) {
    lx::LineReader r;
    EXPECT_EQ(lx::open_lines(r, lxtest::write_temp_file(raw).c_str(), block), lx::OpenResult::ok);
    Lines lines;
    for (std::string_view line; lx::next_line(r, line);) lines.emplace_back(line);
    lx::close_lines(r);
    return lines;
}

// Lines short and long (across the 4095 limit) with CR LF, lone CRs and NULs.
std::string random_content(std::mt19937& rng) {
    std::string out;
    const char* ends[] = {"\n", "\n", "\r\n", "\r", "\r\r\n"};
    for (int lines = int(rng() % 12) + 1; lines > 0; --lines) {
        int length = rng() % 10 < 7 ? int(rng() % 40) : 4080 + int(rng() % 4200);
        for (int i = 0; i < length; ++i) {
            int r = int(rng() % 200);
            out += r == 0 ? '\0' : r == 1 ? '\r' : char('a' + r % 26);
        }
        out += ends[rng() % 5];
    }
    if (rng() % 3 == 0) out.pop_back(); // no newline at the end
    return out;
}

TEST(LineReader, SameLinesAsFgetsAcrossBlockEnds) {
    std::mt19937 rng(99);
    for (int round = 0; round < 60; ++round) {
        std::string raw = random_content(rng);
        Lines expected = fgets_lines(raw);
        for (std::size_t block : {4096u, 4097u, 5003u, 65536u})
            ASSERT_EQ(block_lines(raw, block), expected) << "round " << round << " block " << block;
    }
}

TEST(LineReader, PiecesCrLfAndNulAtTheEdges) {
    // 4094 characters and a newline (CR LF in the file) fit the buffer; one
    // more splits the line and leaves the newline as a line of its own.
    std::string fits(4094, 'x'), splits(4095, 'y');
    EXPECT_EQ(block_lines(fits + "\r\n" + splits + "\r\n", 4096),
              (Lines{fits + "\n", splits, "\n"}));
    // A CR LF pair across the end of a read block; a CR at the file's end stays.
    EXPECT_EQ(block_lines(std::string(4095, 'a') + "\r\nb\r", 4096),
              (Lines{std::string(4095, 'a'), "\n", "b\r"}));
    // A line ends at its NUL, as a C string does.
    EXPECT_EQ(block_lines(std::string("ab\0cd\nef", 8), 4096), (Lines{"ab", "ef"}));
}

} // namespace
