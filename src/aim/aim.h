// Reading a logger's tab-separated text export into a new Session.
#pragma once

#include <string>
#include <vector>

#include "base/trace.h"
#include "session/session.h"

namespace lx {

// What kind of refusal a failed read was: the file could not be read, memory
// ran out, the file holds more than a session does, or its content is wrong.
enum class ReadFailure { none, file, memory, limit, format };

// What a read gives besides the session.
struct ReadOutcome {
    ReadFailure failure = ReadFailure::none;
    bool keep_titles = false;        // asked for: fill titles
    std::vector<std::string> titles; // per file channel, its title row's text for it, as written
};

// Returns the new Session, or null after printing why the file was refused
// to options.sink; fills *outcome when given.
Session* read_aim_export(const char* filename, TraceOptions options,
                         ReadOutcome* outcome = nullptr);

} // namespace lx
