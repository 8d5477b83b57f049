// Work on one session shared among threads. Built without threads (LX_THREADS
// off, as for the 32-bit DLL) every worker runs in turn on the caller's thread.
#pragma once

#include "lx_data.h"

// What each thread keeps for itself (the last call's outcome); one
// copy in a build without threads.
#if LX_THREADS
#define LX_PER_THREAD thread_local
#else
#define LX_PER_THREAD
#endif

namespace lx {

// The workers a requested thread count stands for: 0 is the machine's cores
// (one without threads); always 1 to LX_MAX_THREADS.
int worker_count(int requested);

// Runs work(context, w) for every w from 0 to workers - 1 and returns when all
// are done. Workers whose thread cannot start run on the caller's thread.
// work must not throw.
using WorkerFunction = void (*)(void* context, int worker);
void run_workers(int workers, WorkerFunction work, void* context);

template <typename Work> void run_workers(int workers, Work& work) {
    run_workers(
        workers, [](void* context, int worker) { (*static_cast<Work*>(context))(worker); }, &work);
}

} // namespace lx
