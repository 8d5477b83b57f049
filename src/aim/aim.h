// Reading a logger's tab-separated text export into a new Session.
#pragma once

#include "base/trace.h"
#include "session/session.h"

namespace lx {

// What kind of refusal a failed read was: the file could not be read, memory
// ran out, the file holds more than a session does, or its content is wrong.
enum class ReadFailure { none, file, memory, limit, format };

// Returns the new Session, or null after printing why the file was refused
// to options.sink and, when why is given, setting *why to the kind of refusal.
Session* read_aim_export(const char* filename, TraceOptions options, ReadFailure* why = nullptr);

} // namespace lx
