#include <cstdio>
#include <cstring>
#include <string_view>

#include "base/ascii.h"
#include "import/binary.h"
#include "import/import.h"

namespace lx {

namespace {

// The first line, with a UTF-8 byte-order mark and quotes left as they are.
std::string_view first_line(const char* bytes, std::size_t n) {
    std::string_view text(bytes, n);
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    return text.substr(0, text.find_first_of("\r\n"));
}

bool has_prefix_ignoring_case(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (ascii_lower(text[i]) != ascii_lower(prefix[i])) return false;
    }
    return true;
}

// "Format","value" with or without quotes, separated by a comma or a semicolon.
bool is_format_line(std::string_view line, std::string_view value) {
    auto quote = [&] {
        if (line.starts_with('"')) line.remove_prefix(1);
    };
    quote();
    if (!has_prefix_ignoring_case(line, "Format")) return false;
    line.remove_prefix(6);
    quote();
    if (line.empty() || (line[0] != ',' && line[0] != ';')) return false;
    line.remove_prefix(1);
    quote();
    return has_prefix_ignoring_case(line, value);
}

// RaceChrono starts with a free-text line and says "Format,3" a few lines on.
bool is_racechrono(std::string_view text) {
    return text.find("\nFormat,3") != std::string_view::npos ||
           text.find("\nFormat;3") != std::string_view::npos;
}

// VBO: "File created on ..." first, or a [header] section near the start.
bool is_vbo(std::string_view text, std::string_view first) {
    if (has_prefix_ignoring_case(first, "File created on")) return true;
    for (std::size_t at = text.find('['); at != std::string_view::npos; at = text.find('[', at + 1))
        if ((at == 0 || text[at - 1] == '\n') &&
            has_prefix_ignoring_case(text.substr(at), "[header]"))
            return true;
    return false;
}

} // namespace

FileFormat sniff_format(const char* path) {
    std::FILE* f = path ? std::fopen(path, "rb") : nullptr;
    if (f == nullptr) return FileFormat::unknown;
    char bytes[4096];
    std::size_t n = std::fread(bytes, 1, sizeof bytes, f);
    std::uint64_t size = file_size(f);
    std::fclose(f);
    const auto* head = reinterpret_cast<const unsigned char*>(bytes);
    if (looks_like_ld(head, n, size)) return FileFormat::ld;
    if (looks_like_ibt(head, n, size)) return FileFormat::ibt;
    std::string_view line = first_line(bytes, n);
    if (is_format_line(line, "AiM CSV File")) return FileFormat::aim_csv;
    if (is_format_line(line, "MoTeC CSV File")) return FileFormat::motec_csv;
    if (is_racechrono(std::string_view(bytes, n))) return FileFormat::racechrono_csv;
    // Binary bytes that hold a tab are no titles.
    if (line.find('\t') != std::string_view::npos && is_plain_text(line))
        return FileFormat::text_export;
    if (is_vbo(std::string_view(bytes, n), line)) return FileFormat::vbo;
    return FileFormat::unknown;
}

} // namespace lx
