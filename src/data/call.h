// What every call of the data API shares: its outcome (status and message),
// the session lookup that names a bad handle, and copying texts into the
// caller's fixed fields.
#pragma once

#include <cstddef>
#include <new>
#include <string>
#include <string_view>

#include "base/output.h"
#include "base/trace.h"
#include "base/utf8.h"
#include "frame/frame.h"
#include "lx_data.h"

namespace lx::data {

// Forgets the last outcome: status LX_OK, message "".
void succeed();
// Records a failure and returns its status.
int fail(int status, const char* format, ...) LX_PRINTF_LIKE(2, 3);
// Like fail, with a message that is already formed (cut to fit).
int fail_with(int status, std::string_view message);

// Runs one call: the outcome starts as a success, and nothing thrown leaves
// the library.
template <typename Body> int api_call(Body body) noexcept {
    succeed();
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return fail(LX_ERR_MEMORY, "out of memory");
    } catch (...) {
        return fail(LX_ERR_STATE, "unexpected internal failure");
    }
}

// The data API's session under handle, or null after failing with
// LX_ERR_HANDLE (a front-end session is refused by name).
Session* find_session(int handle);
// For the calls that only read facts and samples: a front-end session too.
const Session* find_readable_session(int handle);
// The data API's session under handle with its session math done, or null
// after failing (call names the function in the message).
Session* math_session(const char* call, int handle);
// The status of a refused channel append: the table was full, else memory ran out.
inline int append_status(const Session* s) {
    return s->nchannels >= MAX_CHANNELS ? LX_ERR_LIMIT : LX_ERR_MEMORY;
}
// LX_OK, or a failure naming the lap or channel that the session lacks.
int check_lap(const Session* s, int handle, int lap);
int check_channel(const Session* s, int handle, int channel);

// The core's switches for a call: no trace, no progress, the lines to out.
constexpr TraceOptions silent_into(Sink out) {
    return {0, 1, out};
}
inline constexpr TraceOptions SILENT = silent_into(NO_OUTPUT);

// What the core prints during a call, kept for the call's message.
class KeptLines {
  public:
    KeptLines() = default;
    KeptLines(const KeptLines&) = delete;
    KeptLines& operator=(const KeptLines&) = delete;
    // SILENT, with the lines kept here.
    TraceOptions silent() { return silent_into(text_sink(text_)); }
    // The lines so far as one line: "first; second".
    std::string joined() const;

  private:
    std::string text_;
};

// Copies text into a field of size bytes: cut at a character boundary, always
// zero-terminated.
void copy_field(char* dest, std::size_t size, std::string_view text);
template <std::size_t N> void copy_field(char (&dest)[N], std::string_view text) {
    copy_field(dest, N, text);
}

} // namespace lx::data
