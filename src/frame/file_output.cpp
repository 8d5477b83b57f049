// The file-output export of lx.h.
#include "base/output.h"
#include "frame/frame.h"
#include "lx.h"
#include "motec/motec.h"

using namespace lx;

extern "C" {

LX_API int lx_write_lap_motec(int handle, int lap, const char* path) {
    if (verbose())
        emit(library.trace.sink, "lx_write_lap_motec(%d,%d,%s)", handle, lap,
             path ? path : "(null)");
    Session* s = lookup_session(handle);
    if (!valid_lap(s, lap)) return 0;
    return write_motec_csv(s, lap, path, library.trace.sink);
}

} // extern "C"
