// The trace switches every routine takes from its export, where its lines go,
// and the one formatting rule the traces share.
#pragma once

#include <cstdint>

#include "base/output.h"

namespace lx {

struct TraceOptions {
    int verbose; // non-zero: print each step
    int quiet;   // 0: print progress lines as well
    Sink sink;   // where every line goes, failures included
};

// A record's address as the trace's "0x%0x" prints it: the low 32 bits.
inline unsigned trace_address(const void* p) {
    return static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(p));
}

} // namespace lx
