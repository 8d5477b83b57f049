// Allocation-failure injection around one export call at a time.
#pragma once

#include <functional>
#include <string>

#include "session/session.h"

namespace lxfault {

// What one run with an injected failure looked like.
struct FailedRun {
    int nth;           // which allocation of the call failed, from 1
    int result;        // the export's result
    std::string out;   // what it printed
    long blocks_added; // live blocks after the call minus before it
};

// For n = 1, 2, ...: arrange(), then act() with its nth allocation failing,
// then check(run). Stops at the first n that act() does not reach and returns
// that run's result, the call having gone through with every allocation granted.
int fail_each_allocation(const std::function<void()>& arrange, const std::function<int()>& act,
                         const std::function<void(const FailedRun&)>& check);

// Everything a caller can see of a session, so that a failure elsewhere can be
// shown to have left it alone.
std::string fingerprint(const lx::Session* s);

// Frees a session without its trace reaching the test's output.
void free_quietly(int handle);

// Fills every sample of channels 2 and up with values of its own.
void fill_distinct(lx::Session* s);

} // namespace lxfault
