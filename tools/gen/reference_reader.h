// The plain way to read an export's values: a first fgets pass (4096-byte
// buffer) counts every lap's rows, the arrays are sized once, and a second
// pass after a rewind reads every field with sscanf("%f"). The fast reader
// must give the same floats; the benchmark measures against it.
#pragma once

#include <cstdio>
#include <cstring>
#include <vector>

namespace lxref {

struct ReferenceLap {
    int number = 0;
    int rows = 0;
    std::vector<std::vector<float>> values; // [channel][row]
};

inline bool is_marker(const char* line) {
    return std::strncmp(line, "Lap:", 4) == 0;
}

// fgets on a text-mode stream: a CR before the LF is dropped (here after the
// read, so lines of 4094 characters or more may be cut elsewhere).
inline bool next_line(char (&line)[4096], std::FILE* f, std::size_t& length) {
    if (!std::fgets(line, sizeof line, f)) return false;
    length = std::strlen(line);
    if (length >= 2 && line[length - 2] == '\r' && line[length - 1] == '\n') {
        line[length - 2] = '\n';
        line[--length] = '\0';
    }
    return true;
}

// Rows before the first lap row are skipped; reading stops at the end row.
inline void count_rows(std::FILE* f, std::vector<ReferenceLap>& laps) {
    char line[4096];
    for (std::size_t length; next_line(line, f, length);) {
        if (is_marker(line) && length < 6) break;
        if (is_marker(line)) {
            int first;
            laps.emplace_back();
            std::sscanf(line + 4, "%d/%d", &first, &laps.back().number);
        }
        if (length >= 2 && !laps.empty()) laps.back().rows += 1;
    }
}

inline void read_fields(const char* line, ReferenceLap& lap, int row, float& last) {
    char field[4096];
    std::size_t n = 0, count = 0;
    for (const char* p = line; *p; ++p) {
        field[n++] = *p;
        if (static_cast<signed char>(*p) >= 32) continue;
        field[n] = '\0';
        if (n > 1 && !is_marker(field) && count < lap.values.size()) {
            if (field[0] == '_')
                last = 0.0f;
            else
                std::sscanf(field, "%f", &last);
            lap.values[count++][row] = last;
        }
        n = 0;
    }
}

inline bool reference_read(const char* path, int channels, std::vector<ReferenceLap>& laps) {
    std::FILE* f = std::fopen(path, "r");
    if (f == nullptr) return false;
    char line[4096];
    bool ok = std::fgets(line, sizeof line, f) != nullptr;
    if (ok) count_rows(f, laps);
    for (ReferenceLap& lap : laps) lap.values.assign(channels, std::vector<float>(lap.rows));
    ok = ok && std::fseek(f, 0, SEEK_SET) == 0 && std::fgets(line, sizeof line, f);
    float last = 0.0f;
    std::size_t length;
    for (int lap = -1, row = 0; ok && next_line(line, f, length);) {
        if (length < 2) continue;
        if (is_marker(line) && length < 6) break;
        if (is_marker(line)) lap += 1, row = 0;
        if (lap >= 0) read_fields(line, laps[lap], row++, last);
    }
    std::fclose(f);
    return ok;
}

} // namespace lxref
