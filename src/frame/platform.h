// The few things that differ between Windows and elsewhere.
#pragma once

namespace lx {

// A console of the library's own, with standard output on it (Windows only).
void open_console();
void close_console();

} // namespace lx
