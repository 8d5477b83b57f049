#include "base/parallel.h"

#include <algorithm>

#if LX_THREADS
#include <array>
#include <system_error>
#include <thread>
#endif

namespace lx {

int worker_count(int requested) {
#if LX_THREADS
    if (requested == 0) requested = static_cast<int>(std::thread::hardware_concurrency());
#endif
    return std::clamp(requested, 1, LX_MAX_THREADS);
}

#if LX_THREADS

namespace {

bool start(std::thread& thread, WorkerFunction work, void* context, int worker) {
    try {
        thread = std::thread(work, context, worker);
        return true;
    } catch (const std::system_error&) {
        return false;
    }
}

} // namespace

void run_workers(int workers, WorkerFunction work, void* context) {
    workers = std::clamp(workers, 1, LX_MAX_THREADS);
    std::array<std::thread, LX_MAX_THREADS> threads;
    int started = 1;
    while (started < workers && start(threads[started], work, context, started)) ++started;
    for (int w = started; w < workers; ++w) work(context, w);
    work(context, 0);
    for (int w = 1; w < started; ++w) threads[w].join();
}

#else

void run_workers(int workers, WorkerFunction work, void* context) {
    for (int w = 0; w < workers; ++w) work(context, w);
}

#endif

} // namespace lx
