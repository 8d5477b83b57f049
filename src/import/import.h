// Readers of other loggers' exports: each turns a file into a session shaped
// like one the text-export reader made, so every export works on it unchanged.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "session/session.h"

namespace lx {

enum class FileFormat { unknown, text_export, aim_csv, racechrono_csv, motec_csv, vbo, ld, ibt };

// The format from the file's first bytes, never its name; unknown when the
// file cannot be read or is none of these.
FileFormat sniff_format(const char* path);

struct ImportOptions {
    double rate = 0.0;    // resampling rate for uneven files; 0: the GPS rate
    std::string channels; // comma-separated titles or names to keep; empty: all
    int first_lap = 0;    // a window of the file's laps, from 1; 0, 0: all
    int last_lap = 0;
    bool cut_at_line = false; // cut into laps at start_line, ends in degrees
    double start_line[4] = {0, 0, 0, 0};
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

// Reads a MoTeC LD file: every channel on one grid at the highest rate, each
// sample held until the next; laps from Running Lap Time, the logger's times
// from Lap Time. The record keeps each channel's rate and scaling and the
// header's texts. Never throws.
ImportResult import_ld(const char* path, const ImportOptions& options);

// Reads an iRacing telemetry file: a sample per row at the tick rate, the
// scalar variables as channels (a stated default set above the channel
// limit), laps from its Lap variable. Never throws.
ImportResult import_ibt(const char* path, const ImportOptions& options);

// Whether a file's first bytes (n of them, the whole header) and size are
// those of each binary format: a marker, and offsets and counts that fit.
bool looks_like_ld(const unsigned char* head, std::size_t n, std::uint64_t size);
bool looks_like_ibt(const unsigned char* head, std::size_t n, std::uint64_t size);

// Writes a session as a MoTeC LD file: channels as the record says the file
// stored them, else as 32-bit floats at the session's rate, with lap channels
// that give its laps back. 0, or a negative lx_status with message set.
int write_ld(const Session& s, const char* path, std::string& message);

// Writes a whole session as a MoTeC CSV file in the analysis program's data
// export layout: a beacon at each lap start, the lap times as segment times.
// 0, or a negative lx_status with message set.
int write_motec_csv(const Session& s, const char* path, std::string& message);

} // namespace lx
