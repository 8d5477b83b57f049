// VBO files: a header in bracketed sections, then one row of space-separated
// numbers per sample, latitude and longitude in minutes (longitude positive
// to the west) and UTC times of day.
#pragma once

#include <string>

#include "import/import.h"

namespace lx {

// Reads a VBO file into a session of the text export's shape; laps where the
// track crosses the [laptiming] start gate, or a proposed start line when
// the file has none. The record keeps the lap times in milliseconds, the
// gates, the split crossings and notes on how the file was read. Of the
// options, the channel choice and the lap window apply; the rows are kept as
// written, never resampled. Never throws.
ImportResult import_vbo(const char* path, const ImportOptions& options);

struct WriteResult {
    int status = 0;      // 0, or a negative lx_status of lx_data.h
    std::string message; // on failure: "PATH: what is wrong"
};

// Writes a session with East and North (and the origin in its record) as a
// VBO file, with a [laptiming] start gate where its laps begin; sessions
// without positions are refused. Never throws.
WriteResult write_vbo(const Session& s, const char* path);

} // namespace lx
