// Library-wide state: the session table, trace switches and the text buffer.
#pragma once

#include "session/session.h"

namespace lx {

constexpr int MAX_SESSIONS = 10;
constexpr int TEXT_BUFFER_SIZE = 128; // 4-byte length, then at most 123 characters

struct TraceOptions {
    int verbose;
    int quiet;
};

struct LibraryState {
    Session* session_table[MAX_SESSIONS];
    int open_sessions;
    TraceOptions trace;
    char* text_buffer;
    int error_channel;
    int beacon_channel;
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

inline bool verbose() { return library.trace.verbose != 0; }

} // namespace lx
