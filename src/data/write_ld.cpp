// A session written as a MoTeC LD file or a whole-session MoTeC CSV file.
#include <string>

#include "data/call.h"
#include "import/import.h"

namespace lx::data {

namespace {

using Writer = int (*)(const Session&, const char*, std::string&);

int write_file(int handle, const char* path, Writer writer, const char* call) {
    const Session* s = find_session(handle);
    if (s == nullptr) return LX_ERR_HANDLE;
    if (path == nullptr) return fail(LX_ERR_ARGUMENT, "%s: the path is null", call);
    std::string message;
    int status = writer(*s, path, message);
    return status == LX_OK ? LX_OK : fail_with(status, message);
}

} // namespace

} // namespace lx::data

extern "C" LX_DATA_API int lx_write_ld(int handle, const char* path) {
    return lx::data::api_call(
        [&] { return lx::data::write_file(handle, path, lx::write_ld, "lx_write_ld"); });
}

extern "C" LX_DATA_API int lx_write_motec_csv(int handle, const char* path) {
    return lx::data::api_call([&] {
        return lx::data::write_file(handle, path, lx::write_motec_csv, "lx_write_motec_csv");
    });
}
