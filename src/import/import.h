// Readers of other loggers' exports: each turns a file into a session shaped
// like one the text-export reader made, so every export works on it unchanged.
#pragma once

#include <string>

#include "session/session.h"

namespace lx {

enum class FileFormat { unknown, text_export, aim_csv, racechrono_csv, motec_csv, vbo };

// The format from the file's first bytes, never its name; unknown when the
// file cannot be read or is none of these.
FileFormat sniff_format(const char* path);

struct ImportOptions {
    double rate = 0.0;    // resampling rate for uneven files; 0: the GPS rate
    std::string channels; // comma-separated titles or names to keep; empty: all
    int first_lap = 0;    // a window of the file's laps, from 1; 0, 0: all
    int last_lap = 0;
};

struct ImportResult {
    Session* session = nullptr; // owned by the caller; null on failure
    int status = 0;             // 0, or a negative lx_status of lx_data.h
    std::string message;        // on failure: "FILE:LINE: what is wrong"
};

// Why a window of laps (0 for an open end, as in ImportOptions) does not fit
// a file of `laps` laps: "laps 5 to the last asked for, but the file has
// laps 1-4".
std::string lap_window_refusal(int first_lap, int last_lap, int laps);

// Reads an AiM, RaceChrono or MoTeC CSV export. The session's record holds the
// titles and units as written, the format and the metadata. Never throws.
ImportResult import_csv(const char* path, FileFormat format, const ImportOptions& options);

} // namespace lx
