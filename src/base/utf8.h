// Texts from files arrive in UTF-8 or Latin-1; the library hands out UTF-8.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace lx {

// True when text is valid UTF-8 (no overlong forms, surrogates or code points
// past U+10FFFF).
bool is_utf8(std::string_view text);

// text as it is when it is valid UTF-8, else each byte read as Latin-1.
std::string to_utf8(std::string_view text);
// Each byte of text read as Latin-1.
std::string latin1_to_utf8(std::string_view text);

// The longest prefix of text that fits in limit bytes without splitting a
// UTF-8 character.
std::string_view utf8_prefix(std::string_view text, std::size_t limit);

// Copies text into a field of size bytes: cut at a character boundary, always
// zero-terminated (nothing written when size is 0).
void copy_utf8(char* dest, std::size_t size, std::string_view text);

} // namespace lx
