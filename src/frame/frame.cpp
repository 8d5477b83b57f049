#include "frame/frame.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "aim/aim.h"
#include "base/output.h"
#include "frame/platform.h"
#include "lx.h"

// The diagnostic build traces everything from the start.
#ifndef LX_LOAD_VERBOSE
#define LX_LOAD_VERBOSE 0
#endif
#ifndef LX_LOAD_QUIET
#define LX_LOAD_QUIET 1
#endif

namespace lx {

LibraryState library;

void library_load() {
    library.open_sessions = 0;
    library.trace.verbose = LX_LOAD_VERBOSE;
    library.trace.quiet = LX_LOAD_QUIET;
    library.trace.sink = STANDARD_OUTPUT; // the front-end reads what its exports print
    // Not through alloc_zeroed: the buffer lives as long as the library.
    library.text_buffer = static_cast<char*>(std::calloc(TEXT_BUFFER_SIZE, 1));
    for (Session*& slot : library.session_table) slot = nullptr;
    library.error_channel = 0;
    library.beacon_channel = 0;
    if (library.trace.quiet == 0) {
        open_console();
        emit(library.trace.sink, "Opened console\n");
    }
}

void library_unload() {
    if (library.trace.quiet == 0) {
        emit(library.trace.sink, "Closing console\n");
        close_console();
    }
}

Session* lookup_session(int handle) {
    if (handle < 1 || handle > MAX_SESSIONS) return nullptr;
    return library.session_table[handle - 1];
}

int allocate_handle() {
    if (library.open_sessions == MAX_SESSIONS) {
        emit(library.trace.sink, "Maximum number of sessions reached\n");
        return 0;
    }
    for (int slot = 0; slot < MAX_SESSIONS; ++slot) {
        if (library.session_table[slot] == nullptr) {
            library.open_sessions += 1;
            return slot + 1;
        }
    }
    emit(library.trace.sink, "Unexpected error: Could not allocate a session handle!\n");
    return 0;
}

int store_session(Session* s) {
    int handle = allocate_handle();
    if (handle != 0) library.session_table[handle - 1] = s;
    return handle;
}

const char* return_text(const char* text) {
    if (library.text_buffer == nullptr) return nullptr;
    constexpr std::size_t room = TEXT_BUFFER_SIZE - 4 - 1;
    std::size_t length = std::min(std::strlen(text), room);
    char* dest = library.text_buffer + 4;
    std::memcpy(dest, text, length);
    dest[length] = '\0';
    auto stored = static_cast<std::int32_t>(length);
    std::memcpy(library.text_buffer, &stored, sizeof stored);
    return dest;
}

} // namespace lx

using namespace lx;

extern "C" {

LX_API int lx_open_aim_xls(const char* filename) {
    if (filename == nullptr) {
        emit(library.trace.sink, "Filename was null pointer\n");
        return 0;
    }
    int handle = allocate_handle();
    if (handle == 0) return 0;
    if (verbose()) emit(library.trace.sink, "Opening session %s\n", filename);
    Session* s = read_aim_export(filename, library.trace);
    library.session_table[handle - 1] = s;
    if (s == nullptr) {
        emit(library.trace.sink, "lx_open_aim_xls(): Open failed for %s\n", filename);
        library.open_sessions -= 1;
        return 0;
    }
    return handle;
}

LX_API void lx_free_session(int handle) {
    emit(library.trace.sink, "Freeing session %d\n", handle);
    if (handle < 1 || handle > MAX_SESSIONS) return;
    if (Session* s = library.session_table[handle - 1]) {
        free_session(s);
        library.open_sessions -= 1;
    }
    library.session_table[handle - 1] = nullptr;
}

} // extern "C"
