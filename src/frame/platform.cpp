#include "frame/platform.h"

#include "frame/frame.h"

#if defined(_WIN32)
#include <cstdio>
#include <windows.h>

namespace lx {

void open_console() {
    AllocConsole();
    std::freopen("CONOUT$", "w", stdout);
}

void close_console() { FreeConsole(); }

} // namespace lx

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) lx::library_load();
    if (reason == DLL_PROCESS_DETACH) lx::library_unload();
    return TRUE;
}

// Linked straight into a program (the unit tests), the objects get no loader
// call: they start and stop with the program, as they do elsewhere.
extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace {

bool linked_into_program() {
    return GetModuleHandleA(nullptr) == reinterpret_cast<HMODULE>(&__ImageBase);
}

struct ProgramLifetime {
    ProgramLifetime() {
        if (linked_into_program()) lx::library_load();
    }
    ~ProgramLifetime() {
        if (linked_into_program()) lx::library_unload();
    }
} program_lifetime;

} // namespace

#else

namespace lx {

// Elsewhere standard output already leads somewhere the user can see.
void open_console() {}
void close_console() {}

} // namespace lx

__attribute__((constructor)) static void on_load() { lx::library_load(); }
__attribute__((destructor)) static void on_unload() { lx::library_unload(); }

#endif
