// The VBO reader on arbitrary bytes (see fuzz_import.h), then the writer on
// what it accepted: what the writer wrote must read back.
#include "fuzz_import.h"
#include "import/vbo.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    lxfuzz::silence_stdout();
    return 0;
}

namespace {

void check_message(const std::string& message, const std::string& path) {
    if (message.rfind(path, 0) != 0 || message.find('\n') != std::string::npos)
        lxfuzz::fail("the message is not one line naming the file");
}

void check_written(const lx::Session* s) {
    static const std::string path = lxfuzz::scratch_dir() + "/import-written.vbo";
    lx::WriteResult w = lx::write_vbo(*s, path.c_str());
    if (w.status != 0) return check_message(w.message, s->filename);
    lx::ImportResult back = lx::import_vbo(path.c_str(), {});
    if (back.session == nullptr) check_message(back.message, path);
    lx::free_session(back.session);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    static const std::string path = lxfuzz::scratch_dir() + "/import-input.vbo";
    lxfuzz::write_file(path, data + 1, size - 1);
    long baseline = lx::live_allocations();
    lx::ImportResult r = lx::import_vbo(path.c_str(), lxfuzz::options_from(data[0]));
    if ((r.session == nullptr) != (r.status != 0)) lxfuzz::fail("status and session disagree");
    if (r.session == nullptr) {
        check_message(r.message, path);
    } else {
        lxfuzz::check_shape(r.session);
        check_written(r.session);
        int handle = lx::store_session(r.session);
        if (handle == 0) lxfuzz::fail("no free handle");
        lxfuzz::check_round_trip(handle, r.session);
        lx_free_session(handle);
    }
    lxfuzz::check_clean(baseline);
    return 0;
}
