// A session written as a MoTeC LD file.
#include <string>

#include "data/call.h"
#include "import/import.h"

namespace lx::data {

namespace {

int write_file(int handle, const char* path) {
    const Session* s = find_session(handle);
    if (s == nullptr) return LX_ERR_HANDLE;
    if (path == nullptr) return fail(LX_ERR_ARGUMENT, "lx_write_ld: the path is null");
    std::string message;
    int status = write_ld(*s, path, message);
    return status == LX_OK ? LX_OK : fail_with(status, message);
}

} // namespace

} // namespace lx::data

extern "C" LX_DATA_API int lx_write_ld(int handle, const char* path) {
    return lx::data::api_call([&] { return lx::data::write_file(handle, path); });
}
