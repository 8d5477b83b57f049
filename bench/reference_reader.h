// The plain way to read an export's values: fgets with a 4096-byte buffer and
// sscanf("%f") field by field. The fast reader must give the same floats; the
// benchmark measures against it.
#pragma once

#include <cstdio>
#include <cstring>
#include <vector>

namespace lxref {

struct ReferenceLap {
    int number = 0;
    std::vector<std::vector<float>> rows;
};

// Reads a file whose CR LF line ends are already plain LF. Rows before the
// first lap row are skipped; reading stops at the end row.
inline bool reference_read(const char* path, std::vector<ReferenceLap>& laps) {
    std::FILE* f = std::fopen(path, "r");
    if (f == nullptr) return false;
    char line[4096], field[4096];
    float last = 0.0f;
    bool ok = std::fgets(line, sizeof line, f) != nullptr;
    while (ok && std::fgets(line, sizeof line, f)) {
        std::size_t length = std::strlen(line);
        bool marker = std::strncmp(line, "Lap:", 4) == 0;
        if (length < 2) continue;
        if (marker && length < 6) break;
        if (marker) {
            laps.emplace_back();
            int first;
            std::sscanf(line + 4, "%d/%d", &first, &laps.back().number);
        }
        if (laps.empty()) continue;
        std::vector<float>& row = laps.back().rows.emplace_back();
        std::size_t n = 0;
        for (const char* p = line; *p; ++p) {
            field[n++] = *p;
            if (static_cast<signed char>(*p) >= 32) continue;
            field[n] = '\0';
            if (n > 1 && std::strncmp(field, "Lap:", 4) != 0) {
                if (field[0] == '_')
                    last = 0.0f;
                else
                    std::sscanf(field, "%f", &last);
                row.push_back(last);
            }
            n = 0;
        }
    }
    std::fclose(f);
    return ok;
}

} // namespace lxref
