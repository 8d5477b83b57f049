#include "data/handles.h"

#include <climits>
#include <new>
#include <unordered_map>

#if LX_THREADS
#include <mutex>
#endif

namespace lx::data {

namespace {

struct Table {
    std::unordered_map<int, Session*> sessions;
    long long next = LX_DATA_HANDLE_FIRST; // wider than a handle: the end is told apart
#if LX_THREADS
    std::mutex guard;
#endif
};

Table& table() {
    static Table t;
    return t;
}

#if LX_THREADS
#define LX_TABLE_LOCK std::lock_guard<std::mutex> lock(table().guard)
#else
#define LX_TABLE_LOCK
#endif

} // namespace

int add_data_session(Session* s) {
    LX_TABLE_LOCK;
    Table& t = table();
    if (t.next > INT_MAX) return 0;
    int handle = static_cast<int>(t.next);
    try {
        t.sessions.emplace(handle, s);
    } catch (const std::bad_alloc&) {
        return 0;
    }
    ++t.next;
    return handle;
}

Session* data_session(int handle) {
    if (handle < LX_DATA_HANDLE_FIRST) return nullptr;
    LX_TABLE_LOCK;
    auto found = table().sessions.find(handle);
    return found == table().sessions.end() ? nullptr : found->second;
}

Session* remove_data_session(int handle) {
    if (handle < LX_DATA_HANDLE_FIRST) return nullptr;
    LX_TABLE_LOCK;
    auto found = table().sessions.find(handle);
    if (found == table().sessions.end()) return nullptr;
    Session* s = found->second;
    table().sessions.erase(found);
    return s;
}

void close_data_sessions() {
    LX_TABLE_LOCK;
    for (auto& [handle, s] : table().sessions) free_session(s);
    table().sessions.clear();
}

long data_sessions_open() {
    LX_TABLE_LOCK;
    return static_cast<long>(table().sessions.size());
}

} // namespace lx::data
