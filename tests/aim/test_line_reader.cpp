// The block reader hands out the same lines as fgets with a 4096-byte buffer
// on a text-mode stream, wherever its blocks happen to end.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "aim/line_reader.h"
#include "support.h"

namespace {

// What a text-mode stream gives: every CR directly before an LF dropped.
std::string text_mode(const std::string& raw) {
    std::string out;
    for (std::size_t i = 0; i < raw.size(); ++i)
        if (!(raw[i] == '\r' && i + 1 < raw.size() && raw[i + 1] == '\n')) out += raw[i];
    return out;
}

std::vector<std::string> fgets_lines(const std::string& raw) {
    std::string path = lxtest::write_temp_file(text_mode(raw));
    std::FILE* f = std::fopen(path.c_str(), "rb");
    std::vector<std::string> lines;
    char buffer[4096];
    while (std::fgets(buffer, sizeof buffer, f)) lines.emplace_back(buffer);
    std::fclose(f);
    return lines;
}

std::vector<std::string> block_lines(const std::string& raw, std::size_t block) {
    std::string path = lxtest::write_temp_file(raw);
    lx::LineReader r;
    EXPECT_EQ(lx::open_lines(r, path.c_str(), block), lx::OpenResult::ok);
    std::vector<std::string> lines;
    std::string_view line;
    while (lx::next_line(r, line)) lines.emplace_back(line);
    lx::close_lines(r);
    return lines;
}

// Content with lines short and long (across the 4095 limit), CR LF, lone
// CRs, CRs at the very end and NUL bytes.
std::string random_content(std::mt19937& rng) {
    std::string out;
    std::uniform_int_distribution<int> kind(0, 9), short_len(0, 40), long_len(4080, 8300);
    for (int lines = rng() % 12 + 1; lines > 0; --lines) {
        int length = kind(rng) < 7 ? short_len(rng) : long_len(rng);
        for (int i = 0; i < length; ++i) {
            int r = static_cast<int>(rng() % 200);
            out += r == 0 ? '\0' : r == 1 ? '\r' : static_cast<char>('a' + r % 26);
        }
        int end = kind(rng);
        out += end < 5 ? "\n" : end < 8 ? "\r\n" : end < 9 ? "\r" : "\r\r\n";
    }
    if (rng() % 3 == 0) out.pop_back(); // no newline at the end
    return out;
}

TEST(LineReader, SameLinesAsFgetsAcrossBlockEnds) {
    std::mt19937 rng(99);
    for (int round = 0; round < 60; ++round) {
        std::string raw = random_content(rng);
        auto expected = fgets_lines(raw);
        for (std::size_t block : {4096u, 4097u, 5003u, 65536u})
            ASSERT_EQ(block_lines(raw, block), expected) << "round " << round << " block " << block;
    }
}

TEST(LineReader, PiecesCrLfAndNulAtTheEdges) {
    // 4094 characters and a newline (CR LF in the file) fit the buffer; one
    // more splits the line and leaves the newline as a line of its own.
    std::string fits(4094, 'x'), splits(4095, 'y');
    auto lines = block_lines(fits + "\r\n" + splits + "\r\n", 4096);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].size(), 4095u);
    EXPECT_EQ(lines[1], splits);
    EXPECT_EQ(lines[2], "\n");
    // A CR ending one read block still meets the LF that starts the next.
    std::string raw = std::string(4095, 'a') + "\r\nb\r";
    EXPECT_EQ(block_lines(raw, 4096),
              (std::vector<std::string>{std::string(4095, 'a'), "\n", "b\r"}));
    // A line ends at its NUL, as a C string does, but the piece still takes its room.
    EXPECT_EQ(block_lines(std::string("ab\0cd\nef", 8), 4096),
              (std::vector<std::string>{"ab", "ef"}));
}

TEST(LineReader, RewindStartsOverAndMissingFilesAreRefused) {
    std::string path = lxtest::write_temp_file("one\ntwo\n");
    lx::LineReader r;
    ASSERT_EQ(lx::open_lines(r, path.c_str()), lx::OpenResult::ok);
    std::string_view line;
    while (lx::next_line(r, line)) {
    }
    ASSERT_TRUE(lx::rewind_lines(r));
    ASSERT_TRUE(lx::next_line(r, line));
    EXPECT_EQ(line, "one\n");
    lx::close_lines(r);
    EXPECT_EQ(lx::open_lines(r, lxtest::temp_path(".missing").c_str()), lx::OpenResult::no_file);
}

} // namespace
