// Library-wide state: the session table, trace switches, the text buffer and
// the state of lap matching. Only the export wrappers (src/frame/, src/data/)
// read it; they pass what a routine needs down as arguments.
#pragma once

#include "analysis/analysis.h"
#include "base/trace.h"
#include "session/session.h"

namespace lx {

constexpr int MAX_SESSIONS = 10;
constexpr int TEXT_BUFFER_SIZE = 128; // 4-byte length, then at most 123 characters

struct LibraryState {
    Session* session_table[MAX_SESSIONS];
    int open_sessions;
    TraceOptions trace;
    char* text_buffer;
    int error_channel; // the matching pair, set up by lx_beacon_setup
    int beacon_channel;
    ErrorRun error_run; // stepped by lx_compute_error_channel_step
};

extern LibraryState library;

void library_load();
void library_unload();

Session* lookup_session(int handle);
int allocate_handle();
// Takes a handle for s and stores it there; 0 (s untouched) when none is free.
int store_session(Session* s);

// Puts text into the text buffer behind its length; returns it, or null when
// the buffer is missing. Texts longer than the buffer holds are cut.
const char* return_text(const char* text);

inline bool verbose() {
    return library.trace.verbose != 0;
}

} // namespace lx
