// The data API's own sessions: numbered from LX_DATA_HANDLE_FIRST upwards, apart
// from the front-end's 1..10, each number given once in the process, as many
// open as memory allows. Only the table is guarded; a session is the caller's.
#pragma once

#include "lx_data.h"
#include "session/session.h"

namespace lx::data {

// The next handle for s, or 0 (s untouched) when the numbers are used up or
// there is no memory for the entry.
int add_data_session(Session* s);
// The session under handle, or null.
Session* data_session(int handle);
// Takes the session out of the table and returns it; null when unknown.
Session* remove_data_session(int handle);
// Sessions open in the table.
long data_sessions_open();
// Frees every session of the table: tests start from an empty one.
void close_data_sessions();

} // namespace lx::data
