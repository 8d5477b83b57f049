// The outcome of the last call, the error texts, and the core's lines made
// into a message.
#include "data/call.h"
#include "base/parallel.h"
#include "data/handles.h"
#include "data/laps.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace lx::data {

namespace {

constexpr std::size_t MESSAGE_SIZE = 1024;
LX_PER_THREAD char message[MESSAGE_SIZE] = "";
LX_PER_THREAD int last_status = LX_OK;

struct StatusText {
    int status;
    const char* text;
};

constexpr StatusText STATUS_TEXTS[] = {
    {LX_OK, "success"},
    {LX_ERR_HANDLE, "no such session"},
    {LX_ERR_ARGUMENT, "bad argument"},
    {LX_ERR_CHANNEL, "no such channel"},
    {LX_ERR_LAP, "no such lap"},
    {LX_ERR_FILE, "file cannot be read or written"},
    {LX_ERR_FORMAT, "file content refused"},
    {LX_ERR_LIMIT, "too many sessions, channels or laps"},
    {LX_ERR_MEMORY, "out of memory"},
    {LX_ERR_AMBIGUOUS, "name matches several channels"},
    {LX_ERR_STATE, "a step is missing first"},
    {LX_ERR_TRACK, "a reference of another track"},
};

} // namespace

void succeed() {
    last_status = LX_OK;
    message[0] = '\0';
}

int fail(int status, const char* format, ...) {
    char text[MESSAGE_SIZE];
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    return fail_with(status, n < 0 ? "(message could not be formed)" : text);
}

int fail_with(int status, std::string_view text) {
    last_status = status;
    copy_field(message, text);
    return status;
}

Session* find_session(int handle) {
    Session* s = data_session(handle);
    if (s != nullptr) return s;
    if (lookup_session(handle) != nullptr)
        fail(LX_ERR_HANDLE,
             "handle %d is a session of lx_open_aim_xls: the data API only reads its facts "
             "and samples; open the file with lx_open for this call",
             handle);
    else
        fail(LX_ERR_HANDLE, "no open session under handle %d", handle);
    return nullptr;
}

const Session* find_readable_session(int handle) {
    if (const Session* s = lookup_session(handle)) return s;
    return find_session(handle);
}

Session* math_session(const char* call, int handle) {
    Session* s = find_session(handle);
    if (s == nullptr) return nullptr;
    bool channels = true;
    for (int channel : {s->i_distance, s->i_speed, s->i_seglen, s->i_radius})
        channels = channels && channel != 0 && valid_channel(s, channel);
    if (channels && session_math_ran(s)) return s;
    fail(LX_ERR_STATE, "%s: session %d has no session math yet (lx_analyse or lx_session_math)",
         call, handle);
    return nullptr;
}

int check_lap(const Session* s, int handle, int lap) {
    if (valid_lap(s, lap)) return LX_OK;
    if (s->nlaps == 0) return fail(LX_ERR_LAP, "no lap %d: session %d has no laps", lap, handle);
    return fail(LX_ERR_LAP, "no lap %d in session %d: laps are 0 to %d", lap, handle, s->nlaps - 1);
}

int check_channel(const Session* s, int handle, int channel) {
    if (valid_channel(s, channel)) return LX_OK;
    return fail(LX_ERR_CHANNEL, "no channel %d in session %d: channels are 0 to %d", channel,
                handle, s->nchannels - 1);
}

std::string KeptLines::joined() const {
    std::string out;
    std::string_view text(text_);
    while (!text.empty()) {
        std::size_t end = text.find_first_of("\r\n");
        std::string_view piece = text.substr(0, end);
        while (!piece.empty() && piece.back() == ' ') piece.remove_suffix(1);
        if (!piece.empty()) out.append(out.empty() ? "" : "; ").append(piece);
        if (end == std::string_view::npos) break;
        text.remove_prefix(end + 1);
    }
    return out;
}

void copy_field(char* dest, std::size_t size, std::string_view text) {
    copy_utf8(dest, size, text);
}

} // namespace lx::data

using namespace lx::data;

extern "C" {

LX_DATA_API int lx_data_version(void) {
    return LX_DATA_VERSION;
}

LX_DATA_API const char* lx_last_error(void) {
    return message;
}

LX_DATA_API int lx_last_status(void) {
    return last_status;
}

LX_DATA_API const char* lx_status_text(int status) {
    for (const StatusText& s : STATUS_TEXTS)
        if (s.status == status) return s.text;
    return "unknown status";
}

} // extern "C"
